#pragma once

#include "gamedetector.h"
#include "gamemodel.h"
#include "logcapture.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A real loader reading a catalogue file of its own in a temporary directory, the model it
// fills and the log lines it writes. Test classes start it in init() and stop it in cleanup().
class CatalogueFixture
{
protected:
    QTemporaryDir m_dir;
    std::shared_ptr<GameModel> m_model;
    std::unique_ptr<GameDetector> m_detector;
    std::unique_ptr<LogCapture> m_log;

    QString path() const { return m_dir.filePath("catalogue.json"); }

    void startLoader();
    void stopLoader();
    // One load pass; returns its error lines.
    QStringList pass();
};
