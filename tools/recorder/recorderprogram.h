#pragma once

#include <QStringList>

// nerq-recorder DIR: keeps the venue's books in DIR until stopped. The exit status.
int runRecorder(const QStringList& arguments);
