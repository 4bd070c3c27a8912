#pragma once

#include "headsetlink.h"

#include <QList>
#include <QString>

class ConfFile;

// The [session] section of station.conf: the language the headset speaks to the customer ("cn",
// the default, or "en"), the warnings before a session's end (seconds before it, default
// 300,60; empty for none) and the grace between time's up and the game being ended (seconds,
// default 60).
//
//   [session]
//   language=en
//   warnings=600,300,60
//   grace=30
//
// Each reader returns false, with "<file>:<line>: <reason>", for a value it cannot take; keys
// it does not read are left to the others.
bool readSessionLanguage(const ConfFile& file, ViewLanguage* language, QString* error);

struct SessionSettings {
    static constexpr int kMaxSeconds = 86400;
    static constexpr int kMaxGraceSeconds = 3600;

    ViewLanguage language = ViewLanguage::Chinese;
    QList<int> warnings{300, 60}; // seconds before the end, largest first, no repeats
    int graceSeconds = 60;
};

bool readSessionSettings(const ConfFile& file, SessionSettings* settings, QString* error);
