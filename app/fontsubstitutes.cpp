#include "fontsubstitutes.h"

#include <QFont>
#include <QString>

void installFontSubstitutes()
{
#ifndef _WIN32
    const QString cjkFamily = QStringLiteral("WenQuanYi Micro Hei");
    QFont::insertSubstitution(QStringLiteral("Microsoft Yahei"), cjkFamily);
    QFont::insertSubstitution(QString::fromUtf8("微软雅黑"), cjkFamily);
#endif
}
