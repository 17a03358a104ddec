#include "barcode.h"

#include "settings.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')
        || c == QLatin1Char('\r') || c == QLatin1Char('\v') || c == QLatin1Char('\f');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qsizetype skipBlanks(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

} // namespace

std::int16_t leadingShort(const QString& text, bool withSign)
{
    qsizetype i = skipBlanks(text);
    bool negative = false;
    if (withSign && i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        value = std::min<long>(value * 10 + (text[i].unicode() - '0'), 1L << 20);
    if (negative)
        value = -value;
    return static_cast<std::int16_t>(std::clamp<long>(value, std::numeric_limits<std::int16_t>::min(),
                                                       std::numeric_limits<std::int16_t>::max()));
}

std::uint64_t itemIdFromText(const QString& text)
{
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 57;
    std::uint64_t value = 0;
    for (qsizetype i = skipBlanks(text); i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value >= kLimit)
            return 0;   // also stops before the number could overflow
    }
    return value;
}

bool isWritableNumber(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && isBlank(text[end - 1]))
        --end;
    const qsizetype begin = skipBlanks(text);
    if (begin >= end)
        return false;
    for (qsizetype i = begin; i < end; ++i)
        if (!isDigit(text[i]))
            return false;
    return itemIdFromText(text) != 0;
}

std::uint32_t unsignedFromText(const QString& text)
{
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t value = 0;
    for (qsizetype i = skipBlanks(text); i < text.size() && isDigit(text[i]); ++i)
        value = std::min(value * 10 + (text[i].unicode() - '0'), kMax);
    return static_cast<std::uint32_t>(value);
}

std::vector<BarcodeStructure> parseBarPar(const QString& text)
{
    std::vector<BarcodeStructure> list;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        // The first five colons divide the six fields; the last runs to the end.
        QStringList fields;
        qsizetype start = 0;
        for (int f = 0; f < 5; ++f) {
            const qsizetype colon = line.indexOf(QLatin1Char(':'), start);
            if (colon < 0)
                break;
            fields << line.mid(start, colon - start);
            start = colon + 1;
        }
        fields << line.mid(start);

        BarcodeStructure s;
        s.TotalLen = leadingShort(fields.value(0), true);
        s.ValidLen = leadingShort(fields.value(1), true);
        const QString verify = fields.value(2);
        s.Verify = verify.isEmpty() ? QChar() : verify.front();
        s.Prefix = fields.value(3).left(BarcodeStructure::kPrefixWidth);
        s.BegBound = fields.value(4).left(BarcodeStructure::kBoundWidth);
        s.EndBound = fields.value(5).left(BarcodeStructure::kBoundWidth);
        list.push_back(std::move(s));
    }
    return list;
}

QString formatBarParLine(const BarcodeStructure& s)
{
    // A missing check character mode leaves its field empty.
    const QString verify = s.Verify.isNull() ? QString() : QString(s.Verify);
    return QStringLiteral("%1:%2:%3:%4:%5:%6\n")
        .arg(QString::number(s.TotalLen), QString::number(s.ValidLen), verify, s.Prefix, s.BegBound,
             s.EndBound);
}

QString formatBarPar(const std::vector<BarcodeStructure>& structures)
{
    QString text;
    for (const BarcodeStructure& s : structures)
        text += formatBarParLine(s);
    return text;
}

void CBarcodeChecker::load(bool force)
{
    if (m_loaded && !force)
        return;
    m_structures = parseBarPar(CSettings().barPar());
    m_loaded = true;
}

bool CBarcodeChecker::check(const QString& barcode)
{
    m_message.clear();
    m_result.clear();
    load(false);
    if (m_structures.empty()) {
        m_result = barcode;
        return true;
    }
    for (const BarcodeStructure& s : m_structures) {
        if (s.TotalLen == 0)
            break;
        if (s.TotalLen == barcode.size()) {
            apply(s, barcode);
            if (!m_result.isEmpty())
                break;
        }
    }
    if (m_result.isEmpty() && m_message.isEmpty()) {
        m_result = barcode;
        m_message += kLengthError;
    }
    return m_message.isEmpty();
}

void CBarcodeChecker::apply(const BarcodeStructure& s, const QString& barcode)
{
    const qsizetype p = s.Prefix.size();
    if (p > 0 && !s.Prefix.startsWith(QLatin1Char('*')) && barcode.left(p) != s.Prefix) {
        m_message += kPrefixError;
        return;
    }
    // Bounds compare the whole barcode, code value by code value.
    if ((!s.BegBound.isEmpty() && QString::compare(barcode, s.BegBound, Qt::CaseSensitive) < 0)
        || (!s.EndBound.isEmpty() && QString::compare(barcode, s.EndBound, Qt::CaseSensitive) > 0)) {
        m_message += kRangeError;
        return;
    }
    QString kept = barcode;
    if (s.Verify != QLatin1Char('0'))
        kept.chop(1);   // the check character
    // Never cut before the start: a negative significant length keeps nothing.
    const qsizetype significant = std::max<qsizetype>(0, p + s.ValidLen);
    if (significant < kept.size())
        kept.truncate(significant);
    m_result = kept;
}
