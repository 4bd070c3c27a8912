import QtQuick 2.5

Session {
    title: "NERQ I/O · 本次体验"
    timeLeft: "剩余时间"
    noSession: "当前没有进行中的体验"
    timeIsUp: "时间到"
    thankYou: "感谢您的体验！"
    sessionOver: "本次体验已结束"
    callForHelp: "呼叫工作人员"
    pressForHelp: "前台工作人员会来到您身边"
    deskCalled: "已通知前台"
    someoneComing: "工作人员正在赶来"
    someoneNamedComing: "%1 正在赶来"
    deskUnreachable: "无法联系前台，请举手示意。"
    iAmDone: "我已结束"
    endNow: "现在结束本次体验？"
    yesEnd: "是，结束"
    keepPlaying: "不，继续体验"
}
