#pragma once

#include "headsetlink.h"

#include <QString>
#include <QStringList>

// nerq-headset: shows the station's session in the headset until stopped. Exit status: 0
// stopped, 1 the configuration is unusable or there is no OpenGL, 2 a usage error.

struct HeadsetSettings {
    QString station;
    ViewLanguage language = ViewLanguage::Chinese;
};

// The command line and station.conf, before any display is needed (--help works without one).
// -1 to go on, else the exit status.
int prepareHeadset(const QStringList& arguments, HeadsetSettings* settings);
// Runs until stopped; needs a QGuiApplication.
int runHeadset(const HeadsetSettings& settings);
