// Barcode structures: the library's rules for the barcodes of its stock
// (total length, prefix, number range, check character), their text form in
// the settings store (BarPar), the check that the tagging pages run on a
// scanned barcode, and the item identifier taken from an accepted barcode.
#pragma once

#include <QChar>
#include <QString>

#include <cstdint>
#include <vector>

struct BarcodeStructure {
    static constexpr int kPrefixWidth = 130;
    static constexpr int kBoundWidth = 255;

    std::int16_t TotalLen = 0;   // length a barcode must have for this structure; 0 ends the list
    std::int16_t ValidLen = 0;   // characters kept after the prefix
    QString Prefix;              // required beginning; empty: any; "*..." any characters of that length
    QChar Verify;                // '0': no check character; any other (or none): the last character is one
    QString BegBound;            // lowest accepted barcode; empty: no lower bound
    QString EndBound;            // highest accepted barcode; empty: no upper bound

    bool operator==(const BarcodeStructure&) const = default;
};

// The check character modes offered for a structure; the first character of
// the chosen entry is stored.
inline const QString kVerifyNone = QStringLiteral("0 无校验码");
inline const QString kVerifyUnchecked = QStringLiteral("1 有但不校验");
inline const QString kVerifyCode39 = QStringLiteral("2 三九码");

// BarPar: one line "TotalLen:ValidLen:Verify:Prefix:BegBound:EndBound\n" per
// structure, in list order. Fields are not escaped, so a colon inside Prefix
// or BegBound shifts the fields after it.
std::vector<BarcodeStructure> parseBarPar(const QString& text);
QString formatBarParLine(const BarcodeStructure& s);
QString formatBarPar(const std::vector<BarcodeStructure>& structures);

// Checks scanned barcodes against the structures of the settings store,
// which it loads on first use.
class CBarcodeChecker {
public:
    static inline const QString kLengthError = QStringLiteral(" 无效的条码长度!");
    static inline const QString kPrefixError = QStringLiteral("前缀错误");
    static inline const QString kRangeError = QStringLiteral("条码范围错误");

    // Reads BarPar from the settings store when force is set or nothing is
    // loaded yet; the old list is discarded.
    void load(bool force);
    bool isLoaded() const { return m_loaded; }
    const std::vector<BarcodeStructure>& structures() const { return m_structures; }

    // Checks barcode; returns whether it is accepted (the message is empty).
    // The result is the barcode's significant part when a structure applied
    // (or the barcode itself when none did).
    bool check(const QString& barcode);
    const QString& result() const { return m_result; }
    const QString& message() const { return m_message; }

private:
    void apply(const BarcodeStructure& s, const QString& barcode);

    std::vector<BarcodeStructure> m_structures;
    bool m_loaded = false;
    QString m_result;
    QString m_message;
};

// The item identifier written to a tag for an accepted barcode text: the
// unsigned decimal number at its start (leading blanks skipped, 0 without
// digits), or 0 when it needs more than 57 bits.
std::uint64_t itemIdFromText(const QString& text);

// Whether an accepted barcode text can go to a tag as its item identifier:
// a decimal number (blanks around it aside) whose identifier is neither 0
// (an empty tag's) nor cut to 0 for needing more than 57 bits.
bool isWritableNumber(const QString& text);

// A library identifier typed as text: the unsigned decimal number at its
// start (leading blanks skipped, 0 without digits); a number beyond 32 bits
// gives the largest 32-bit value.
std::uint32_t unsignedFromText(const QString& text);

// The decimal number at the start of a text (leading blanks skipped, 0
// without digits), with an optional sign when withSign is set, clamped to 16
// bits.
std::int16_t leadingShort(const QString& text, bool withSign);
