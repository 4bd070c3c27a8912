#pragma once

#include <QByteArray>
#include <QString>

class Books;

// Today as the recorder publishes it (retained, nerq/v1/reports/today) for the desk's page: the
// day's figures, per game and per station, and each station's day as a timeline of sessions,
// games, offline stretches and help calls. The README's interface table describes the fields.
namespace TodaySummary {

QByteArray toJson(const Books& books, qint64 now);
// Today (the local day that holds `now`) from the books in `path`; empty with the reason when
// they cannot be read.
QByteArray read(const QString& path, qint64 now, QString* error);

} // namespace TodaySummary
