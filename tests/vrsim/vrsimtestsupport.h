// Shared helpers of the vrsim tests: a clean runtime per case, a second process, stderr capture.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

#include <openvr.h>

namespace VrsimTest {

// Clears every VRSIM_* variable, sets the given ones (plus a private state directory unless
// one is given) and resets the runtime, so each case starts from the documented defaults.
void configure(const QTemporaryDir& stateDir, const QMap<QByteArray, QByteArray>& settings = {});

// configure() and VR_Init as an overlay application; the error of VR_Init.
vr::EVRInitError connect(const QTemporaryDir& stateDir, const QMap<QByteArray, QByteArray>& settings = {},
                         vr::EVRApplicationType type = vr::VRApplication_Overlay);

// The runtime's trace of this process has exactly this line.
bool traced(const std::string& line);

// Runs vrsim_probe with the current environment; its standard output, trimmed.
QString probe(const QStringList& arguments);

// Starts "vrsim_probe hold <key>" and waits for its create result; the process keeps running
// while the key is held.
std::unique_ptr<QProcess> holdKey(const QString& key, QString* createLine);

// Redirects this process's standard error into a file while alive.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();
    QString text();

private:
    QTemporaryDir m_dir;
    int m_saved = -1;
};

} // namespace VrsimTest
