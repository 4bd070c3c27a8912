#pragma once

#include <QString>

#include <functional>
#include <memory>

// Switching the machine off or restarting it, asked of the operating system (logind on Linux, the
// shutdown API on Windows). Asynchronous: the answer comes on the event loop, never blocking it.
// Tests and benchmarks never reach the real one: with NERQ_POWER_NOTES set, forThisMachine() gives
// the stand-in, which only notes each call in that file.
class PowerControl
{
public:
    struct Outcome {
        bool done = false;
        QString error; // what the system said when not done
    };
    using Answer = std::function<void(const Outcome&)>;

    virtual ~PowerControl() = default;
    virtual void powerOff(const Answer& answer) = 0;
    virtual void restart(const Answer& answer) = 0;

    static std::unique_ptr<PowerControl> forThisMachine();
};

// The stand-in: appends "power-off" or "restart" and the time, one line a call, to its file.
class NotedPowerControl : public PowerControl
{
public:
    explicit NotedPowerControl(const QString& file);
    void powerOff(const Answer& answer) override;
    void restart(const Answer& answer) override;

private:
    void note(const char* what, const Answer& answer);

    QString m_file;
};

// The operating system's own (powercontrol_posix.cpp, powercontrol_win.cpp).
std::unique_ptr<PowerControl> systemPowerControl();
