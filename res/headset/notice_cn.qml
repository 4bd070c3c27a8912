import QtQuick 2.5

Notice {
    yourSession: "本次体验"
    minutesBought: "%1 分钟"
    timeBought: "%1"
    oneMinuteLeft: "还剩 1 分钟"
    minutesLeft: "还剩 %1 分钟"
    timeLeft: "剩余时间"
    timeIsUp: "时间到"
    thankYou: "感谢您的体验！"
}
