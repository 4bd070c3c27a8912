import QtQuick 2.5

// The notice that follows the head: one panel, an accent bar whose colour says what kind of
// notice it is, a short headline and one large line. The words come from notice_<language>.qml.
Item {
    id: notice
    width: 800
    height: 260

    property string yourSession
    property string minutesBought   // %1: whole minutes
    property string timeBought      // %1: m:ss, for a time that is no whole number of minutes
    property string oneMinuteLeft
    property string minutesLeft     // %1: minutes
    property string timeLeft
    property string timeIsUp
    property string thankYou

    readonly property string kind: headset.notice

    function clock(seconds) {
        var minutes = Math.floor(seconds / 60)
        var rest = seconds % 60
        return minutes + ":" + (rest < 10 ? "0" : "") + rest
    }

    function bought(seconds) {
        return seconds % 60 === 0 && seconds > 0 ? minutesBought.arg(seconds / 60) : timeBought.arg(clock(seconds))
    }

    Rectangle {
        anchors.fill: parent
        visible: notice.kind !== "none"
        radius: 28
        color: "#e60e1620"
        border.color: "#40ffffff"
        border.width: 2

        // Blue: time bought; amber: minutes left; orange: the last minute; red: time is up.
        Rectangle {
            x: 0
            y: 0
            width: 24
            height: parent.height
            radius: 12
            color: notice.kind === "started" ? "#1f6feb"
                 : notice.kind === "warning" ? "#f0a020"
                 : notice.kind === "countdown" ? "#ff7a1a" : "#d0342c"
        }

        Text {
            x: 60
            y: 28
            width: 700
            color: "#c8d4dc"
            font.pixelSize: 40
            text: notice.kind === "countdown" ? notice.timeLeft
                : notice.kind === "timeup" ? notice.timeIsUp : notice.yourSession
        }

        Text {
            x: 60
            y: 92
            width: 700
            height: 130
            color: "#ffffff"
            font.pixelSize: 96
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            minimumPixelSize: 40
            verticalAlignment: Text.AlignVCenter
            text: notice.kind === "started" ? notice.bought(headset.noticeSeconds)
                : notice.kind === "warning" ? (headset.noticeMinutes === 1 ? notice.oneMinuteLeft
                                                                           : notice.minutesLeft.arg(headset.noticeMinutes))
                : notice.kind === "countdown" ? notice.clock(headset.remainingSeconds)
                : notice.kind === "timeup" ? notice.thankYou : ""
        }
    }
}
