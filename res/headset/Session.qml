import QtQuick 2.5

// The session tab in the VR dashboard: the time left, large; the call for help, the largest thing
// on the page, so a laser pointer cannot miss it (it covers the page's point 960, 780); and
// "I am done", which asks once more. The words come from session_<language>.qml.
Item {
    id: page
    width: 1920
    height: 1080

    property string title
    property string timeLeft
    property string noSession
    property string timeIsUp
    property string thankYou
    property string sessionOver
    property string callForHelp
    property string pressForHelp
    property string deskCalled
    property string someoneComing
    property string someoneNamedComing // %1: who
    property string deskUnreachable
    property string iAmDone
    property string endNow
    property string yesEnd
    property string keepPlaying

    readonly property string session: headset.session
    readonly property string help: headset.help
    readonly property bool canEnd: session === "running" || session === "timeup"

    function clock(seconds) {
        var minutes = Math.floor(seconds / 60)
        var rest = seconds % 60
        return minutes + ":" + (rest < 10 ? "0" : "") + rest
    }

    Rectangle {
        anchors.fill: parent
        color: "#0e1620"
    }

    Text {
        x: 80
        y: 60
        color: "#7f95a3"
        font.pixelSize: 44
        text: page.title
    }

    Text {
        x: 0
        y: 150
        width: page.width
        horizontalAlignment: Text.AlignHCenter
        color: "#c8d4dc"
        font.pixelSize: 52
        text: page.session === "running" ? page.timeLeft
            : page.session === "timeup" ? page.timeIsUp
            : page.session === "ended" ? page.sessionOver : page.noSession
    }

    // Set only while the tab is shown: a hidden tab has nothing to draw again each second.
    Text {
        x: 0
        y: 220
        width: page.width
        horizontalAlignment: Text.AlignHCenter
        color: "#ffffff"
        font.pixelSize: 200
        font.bold: true
        text: !headset.tabShown ? ""
            : page.session === "running" ? page.clock(headset.remainingSeconds)
            : page.session === "timeup" || page.session === "ended" ? page.thankYou : ""
        fontSizeMode: Text.HorizontalFit
        minimumPixelSize: 60
    }

    // Blue: call; amber: the desk was called; green: someone is coming; red: nobody can be
    // reached, raise a hand.
    Rectangle {
        id: helpButton
        x: 360
        y: 520
        width: 1200
        height: 480
        radius: 40
        color: page.help === "sent" ? "#f0a020"
             : page.help === "answered" ? "#2e9d5b"
             : page.help === "unreachable" ? "#d0342c" : "#1f6feb"
        border.color: "#ffffff"
        border.width: helpArea.containsMouse ? 10 : 0

        Text {
            x: 40
            y: 90
            width: parent.width - 80
            horizontalAlignment: Text.AlignHCenter
            color: "#ffffff"
            font.pixelSize: 110
            font.bold: true
            fontSizeMode: Text.HorizontalFit
            text: page.callForHelp
        }

        Text {
            x: 40
            y: 270
            width: parent.width - 80
            height: 150
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.WordWrap
            color: "#ffffff"
            font.pixelSize: 52
            text: page.help === "sent" ? page.deskCalled
                : page.help === "answered" ? (headset.helpBy === "" ? page.someoneComing
                                                                    : page.someoneNamedComing.arg(headset.helpBy))
                : page.help === "unreachable" ? page.deskUnreachable : page.pressForHelp
        }

        MouseArea {
            id: helpArea
            anchors.fill: parent
            hoverEnabled: true
            onClicked: headset.callHelp()
        }
    }

    Rectangle {
        x: 1540
        y: 40
        width: 340
        height: 110
        radius: 20
        visible: page.canEnd && !headset.confirmingDone
        color: doneArea.containsMouse ? "#3a4a58" : "#26323d"

        Text {
            anchors.fill: parent
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            color: "#ffffff"
            font.pixelSize: 44
            fontSizeMode: Text.HorizontalFit
            text: page.iAmDone
        }

        MouseArea {
            id: doneArea
            anchors.fill: parent
            hoverEnabled: true
            onClicked: headset.askDone()
        }
    }

    // Asked once more: a stray click must not end what the customer paid for.
    Rectangle {
        x: 1140
        y: 40
        width: 740
        height: 260
        radius: 20
        visible: headset.confirmingDone
        color: "#26323d"

        Text {
            x: 20
            y: 20
            width: parent.width - 40
            horizontalAlignment: Text.AlignHCenter
            color: "#ffffff"
            font.pixelSize: 48
            fontSizeMode: Text.HorizontalFit
            text: page.endNow
        }

        Rectangle {
            x: 20
            y: 130
            width: 340
            height: 110
            radius: 16
            color: yesArea.containsMouse ? "#e04a42" : "#d0342c"

            Text {
                anchors.fill: parent
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                color: "#ffffff"
                font.pixelSize: 44
                fontSizeMode: Text.HorizontalFit
                text: page.yesEnd
            }

            MouseArea {
                id: yesArea
                anchors.fill: parent
                hoverEnabled: true
                onClicked: headset.confirmDone()
            }
        }

        Rectangle {
            x: 380
            y: 130
            width: 340
            height: 110
            radius: 16
            color: noArea.containsMouse ? "#3f8f5a" : "#2e9d5b"

            Text {
                anchors.fill: parent
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                color: "#ffffff"
                font.pixelSize: 44
                fontSizeMode: Text.HorizontalFit
                text: page.keepPlaying
            }

            MouseArea {
                id: noArea
                anchors.fill: parent
                hoverEnabled: true
                onClicked: headset.cancelDone()
            }
        }
    }
}
