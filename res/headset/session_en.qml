import QtQuick 2.5

Session {
    title: "NERQ I/O · Session"
    timeLeft: "Time left"
    noSession: "No session is running"
    timeIsUp: "Time is up"
    thankYou: "Thank you for playing!"
    sessionOver: "Your session is over"
    callForHelp: "Call for help"
    pressForHelp: "Someone from the desk will come to you"
    deskCalled: "The desk has been called"
    someoneComing: "Someone is coming"
    someoneNamedComing: "%1 is coming"
    deskUnreachable: "The desk cannot be reached. Please raise your hand."
    iAmDone: "I am done"
    endNow: "End your session now?"
    yesEnd: "Yes, end it"
    keepPlaying: "No, keep playing"
}
