#pragma once

#include <QSet>
#include <QString>

// A plain-text list of Steam app ids that an operator keeps: one id a line, "#" starts a comment.
class AppIdList
{
public:
    // False, with "<file>:<line>: <reason>" in `error`, for a file that cannot be read or a line
    // that is not an app id.
    bool load(const QString& path, QString* error);
    bool contains(int appId) const { return m_ids.contains(appId); }

private:
    QSet<int> m_ids;
};
