import QtQuick 2.5

Notice {
    yourSession: "Your session"
    minutesBought: "%1 minutes"
    timeBought: "%1"
    oneMinuteLeft: "1 minute left"
    minutesLeft: "%1 minutes left"
    timeLeft: "Time left"
    timeIsUp: "Time is up"
    thankYou: "Thank you for playing!"
}
