#pragma once

#include "books.h"

#include <QString>
#include <QStringList>

// The rows of a report as a table: for spreadsheets and till systems (CSV: a header line, then
// the columns each grouping promises first, in that order, and more after them), and for people
// (columns lined up, a total, the help calls and the failed starts in words).
namespace ReportTable {

QString csv(const Books& books, Books::By by, const QString& timeZone);
QString text(const Books& books, Books::By by, const QString& timeZone);

// "Europe/Berlin (CET, CEST)": the desk's zone and the abbreviations it has over the stretch.
QString timeZoneName(qint64 from, qint64 to);
// The zone's id alone, as the CSV's last column has it.
QString timeZoneId();

} // namespace ReportTable
