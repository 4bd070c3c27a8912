#include "sessionlanguage.h"

#include "conffile.h"

#include <QStringList>

#include <algorithm>
#include <functional>

namespace {

// A whole number of seconds from `low` to `high`, or -1.
int seconds(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value >= low && value <= high ? value : -1;
}

bool readWarnings(const QString& value, QList<int>* warnings)
{
    QList<int> read;
    for (const QString& part : value.split(',', Qt::SkipEmptyParts)) {
        const int warning = seconds(part, 1, SessionSettings::kMaxSeconds);
        if (warning < 0)
            return false;
        if (!read.contains(warning))
            read << warning;
    }
    std::sort(read.begin(), read.end(), std::greater<int>());
    *warnings = read;
    return true;
}

} // namespace

bool readSessionLanguage(const ConfFile& file, ViewLanguage* language, QString* error)
{
    ViewLanguage result = ViewLanguage::Chinese;
    const QList<ConfFile::Entry> entries = file.section("session");
    for (const ConfFile::Entry& entry : entries) {
        if (entry.key != QLatin1String("language"))
            continue;
        if (entry.value == QLatin1String("cn")) {
            result = ViewLanguage::Chinese;
        } else if (entry.value == QLatin1String("en")) {
            result = ViewLanguage::English;
        } else {
            *error = file.where(entry) + "language must be cn or en, not \"" + entry.value + "\"";
            return false;
        }
    }
    *language = result;
    return true;
}

bool readSessionSettings(const ConfFile& file, SessionSettings* settings, QString* error)
{
    SessionSettings result;
    if (!readSessionLanguage(file, &result.language, error))
        return false;
    for (const ConfFile::Entry& entry : file.section("session")) {
        if (entry.key == QLatin1String("warnings") && !readWarnings(entry.value, &result.warnings)) {
            *error = file.where(entry)
                     + QString("warnings must be seconds before the end, from 1 to %1, separated by commas, not \"%2\"")
                           .arg(SessionSettings::kMaxSeconds)
                           .arg(entry.value);
            return false;
        }
        if (entry.key == QLatin1String("grace")) {
            result.graceSeconds = seconds(entry.value, 0, SessionSettings::kMaxGraceSeconds);
            if (result.graceSeconds < 0) {
                *error = file.where(entry)
                         + QString("grace must be seconds from 0 to %1, not \"%2\"")
                               .arg(SessionSettings::kMaxGraceSeconds)
                               .arg(entry.value);
                return false;
            }
        }
    }
    *settings = result;
    return true;
}
