import QtQuick 2.5
import QtQuick.Controls 1.4

Rectangle {
    width: 1920
    height: 1080
    color: "#00000000"

    Image {
        anchors.fill: parent
        source: "res/background.png"
    }

    Image {
        x: 123
        y: 83
        width: 233
        height: 48
        source: "res/nerq_io.png"
    }

    Text {
        x: 383
        y: 107
        text: "已安装"
        color: "#ffffff"
        font.pixelSize: 24
        font.family: "微软雅黑"
    }

    Rectangle {
        x: 123
        y: 155
        width: 1675
        height: 5
        color: "#00677e"
    }

    GridView {
        id: gameView
        x: 123
        y: 190
        width: 1700
        height: 695
        clip: true
        cellWidth: 425
        cellHeight: 254
        model: game
        delegate: Column {
            spacing: 20

            Image {
                x: 0
                y: 0
                width: 400
                height: 188
                source: model.img_path

                Image {
                    opacity: 0
                    anchors.fill: parent
                    source: "res/start_img.png"

                    MouseArea {
                        anchors.fill: parent
                        hoverEnabled: true
                        onEntered: parent.opacity = 1
                        onExited: parent.opacity = 0
                        onClicked: launcher.launcherGame(model.game_id)
                    }
                }
            }

            Row {
                spacing: 11
                anchors.horizontalCenter: parent.horizontalCenter

                Rectangle {
                    width: 130
                    height: 24
                    color: "#040000"
                    opacity: 0.6
                    radius: 5
                    visible: model.is_native

                    Text {
                        text: "原生游戏"
                        color: "#c3c2c2"
                        font.pixelSize: 18
                        font.family: "微软雅黑"
                        anchors.horizontalCenter: parent.horizontalCenter
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }

                Rectangle {
                    width: childText.width
                    height: 25
                    color: "#00000000"

                    Text {
                        id: childText
                        text: model.name
                        color: "#ffffff"
                        font.bold: true
                        font.pixelSize: 23
                        font.family: "微软雅黑"
                        anchors.horizontalCenter: parent.horizontalCenter
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }
        }
    }

    Image {
        y: 946
        anchors.horizontalCenter: parent.horizontalCenter
        width: 287
        height: 65
        source: "res/button_img.png"

        Text {
            text: "标定"
            color: "#ffffff"
            font.pixelSize: 28
            font.family: "微软雅黑"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.verticalCenter: parent.verticalCenter
        }

        MouseArea {
            anchors.fill: parent
            propagateComposedEvents: false
            hoverEnabled: true
            onEntered: {
                biaoding_message._visible1 = true
            }
            onExited: {
                biaoding_message._visible1 = false
                biaoding_message._visible2 = true
            }
            onWheel: {
            }
            onClicked: {
                calibration.Calibration()
                timer_button.stop()
                biaoding_message._visible2 = false
                biaoding_message2.opacity = 1
                biaoding_message2.count = 0
                timer_button.start()
            }
        }
    }

    Rectangle {
        id: scrollbar
        x: 1840
        y: 190
        width: 12
        height: 695
        color: "#00000000"
        clip: true

        Rectangle {
            id: button
            x: 0
            y: gameView.visibleArea.yPosition * scrollbar.height
            width: 12
            height: gameView.visibleArea.heightRatio * scrollbar.height
            color: "#ffffff"
            opacity: 0.3
            radius: 2

            MouseArea {
                id: mouseArea
                anchors.fill: button
                drag.target: button
                drag.axis: Drag.YAxis
                drag.minimumY: 0
                drag.maximumY: scrollbar.height - button.height
                onMouseYChanged: {
                    gameView.contentY = button.y / scrollbar.height * gameView.contentHeight
                }
            }
        }
    }

    Image {
        id: biaoding_message
        anchors.horizontalCenter: parent.horizontalCenter
        y: 440
        width: 818
        height: 309
        source: "res/message_background.png"
        property bool _visible1: false
        property bool _visible2: true
        visible: _visible1 && _visible2 && biaoding_message2.opacity == 0

        Image {
            y: 62
            anchors.horizontalCenter: parent.horizontalCenter
            source: "res/eye.png"
        }

        Text {
            text: "重新标定时，请目视前方，并按下此按键。"
            color: "#ffffff"
            font.pixelSize: 28
            font.family: "微软雅黑"
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            width: 643
            y: 172
            anchors.horizontalCenter: parent.horizontalCenter
        }
    }

    Image {
        id: biaoding_message2
        anchors.horizontalCenter: parent.horizontalCenter
        y: 440
        width: 818
        height: 309
        source: "res/message_background.png"
        opacity: 0
        property int count: 0

        Image {
            y: 62
            anchors.horizontalCenter: parent.horizontalCenter
            source: "res/eye.png"
        }

        Text {
            text: "标定成功！"
            color: "#ffffff"
            font.pixelSize: 28
            font.family: "微软雅黑"
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
            width: 643
            y: 172
            anchors.horizontalCenter: parent.horizontalCenter
        }

        Timer {
            id: timer_button
            interval: 20
            repeat: true
            triggeredOnStart: true
            onTriggered: {
                biaoding_message2.count += 1
                if (biaoding_message2.count > 50) {
                    biaoding_message2.opacity -= 0.04
                    if (biaoding_message2.opacity < 0.1) {
                        biaoding_message2.opacity = 0
                        timer_button.stop()
                    }
                }
            }
        }
    }
}
