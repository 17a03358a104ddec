// The holding location and media type lists that staff choose from in the
// settings dialog, on the book page and in the rewrite dialog, in this order.
#pragma once

#include <QStringList>

inline const QStringList kHoldingLocations{
    QStringLiteral("1 图书借阅室"),
    QStringLiteral("2 少儿图书借阅室"),
    QStringLiteral("3 其它"),
};

inline const QStringList kMediaTypes{
    QStringLiteral("1 图书"),
    QStringLiteral("2 期刊"),
    QStringLiteral("3 光盘"),
};

// The holding location entry that a stored Location text selects: the first
// entry that begins with it, letter case ignored, else the first entry.
inline int holdingLocationIndex(const QString& stored)
{
    for (int i = 0; i < kHoldingLocations.size(); ++i)
        if (kHoldingLocations[i].startsWith(stored, Qt::CaseInsensitive))
            return i;
    return 0;
}
