// The lists that staff choose from, in this order: holding locations and
// media types (settings dialog, book page, rewrite dialog), card statuses and
// patron types (patron card page); and the one-byte holding location code a
// book tag carries. The settings store keeps list indexes into them.
//
// A location code holds a digit 0-7 in bits 7-5 and a letter offset from "A"
// in bits 4-0; it is written as that digit and letter ("1A" is 32, "2B" 65).
// The entries staff see begin with their number and a blank ("1 图书借阅室"),
// which is no location code, so each entry also carries the code text it
// stands for: its own number with the letter "A", the first (and so far
// only) section of that location. The texts shown and stored (Location)
// stay the entries' texts; the code goes to the tag and reads back as the
// code text, by which the entry is found again.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

struct HoldingLocation {
    QString text;       // shown to staff and stored as Location
    QString codeText;   // digit and letter of the location code
};

inline const HoldingLocation kHoldingLocationEntries[] = {
    {QStringLiteral("1 图书借阅室"), QStringLiteral("1A")},
    {QStringLiteral("2 少儿图书借阅室"), QStringLiteral("2A")},
    {QStringLiteral("3 其它"), QStringLiteral("3A")},
};

inline const QStringList kHoldingLocations = [] {
    QStringList texts;
    for (const HoldingLocation& entry : kHoldingLocationEntries)
        texts << entry.text;
    return texts;
}();

inline const QStringList kMediaTypes{
    QStringLiteral("1 图书"),
    QStringLiteral("2 期刊"),
    QStringLiteral("3 光盘"),
};

// Two blanks between the number and the name.
inline const QStringList kCardStatuses{QStringLiteral("1  有效"), QStringLiteral("2  验证"), QStringLiteral("3  挂失")};
inline const QStringList kPatronTypes{QStringLiteral("1  本馆职工"), QStringLiteral("2  VIP"),
                                      QStringLiteral("3  一般读者")};

// The holding location entry that a stored Location text selects: the first
// entry that begins with it, letter case ignored, else the first entry.
inline int holdingLocationIndex(const QString& stored)
{
    for (int i = 0; i < kHoldingLocations.size(); ++i)
        if (kHoldingLocations[i].startsWith(stored, Qt::CaseInsensitive))
            return i;
    return 0;
}

// The location code of a code text, from its first two characters c0 c1:
// (c0 - "0") * 32 + (c1 - "A") in signed arithmetic; a result above 255 when
// taken as an unsigned number (negative ones included) becomes 255, and so
// does a text shorter than two characters.
inline std::uint32_t locationCode(const QString& codeText)
{
    if (codeText.size() < 2)
        return 255;
    const int code = (codeText[0].unicode() - '0') * 32 + (codeText[1].unicode() - 'A');
    return static_cast<std::uint32_t>(code) > 255u ? 255u : static_cast<std::uint32_t>(code);
}

// The two characters of a location code: "0" + ((code / 32) & 7), "A" + (code & 31).
inline QString locationText(std::uint32_t code)
{
    const QChar digitAndLetter[] = {QChar(static_cast<char16_t>(u'0' + ((code / 32) & 7))),
                                    QChar(static_cast<char16_t>(u'A' + (code & 31)))};
    return QString(digitAndLetter, 2);
}

// The location code of the entry at index (an index out of the list gives
// the first entry's).
inline std::uint32_t holdingLocationCode(int index)
{
    if (index < 0 || index >= kHoldingLocations.size())
        index = 0;
    return locationCode(kHoldingLocationEntries[index].codeText);
}

// The entry whose code is code, or -1 when none has it.
inline int holdingLocationOfCode(std::uint32_t code)
{
    for (int i = 0; i < kHoldingLocations.size(); ++i)
        if (locationCode(kHoldingLocationEntries[i].codeText) == code)
            return i;
    return -1;
}

// The leading decimal number of a media type entry ("1 图书" is 1), at most 63.
inline std::uint32_t mediaTypeCode(const QString& entry)
{
    std::uint32_t value = 0;
    for (QChar c : entry) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c.unicode() - '0');
        if (value > 63)
            return 63;
    }
    return value;
}
