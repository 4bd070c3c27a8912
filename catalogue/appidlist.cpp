#include "appidlist.h"

#include <QFile>
#include <QFileInfo>

bool AppIdList::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        *error = path + (QFileInfo::exists(path) ? ": not a file" : ": no such file");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QString("%1: %2").arg(path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        QString line = QString::fromUtf8(file.readLine());
        line = line.left(line.indexOf('#')).trimmed();
        if (line.isEmpty())
            continue;
        bool ok = false;
        const int appId = line.toInt(&ok);
        if (!ok || appId <= 0) {
            *error = QString("%1:%2: \"%3\" is not a Steam app id").arg(path, QString::number(lineNumber), line);
            return false;
        }
        m_ids.insert(appId);
    }
    return true;
}
