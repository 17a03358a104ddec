// Barcode structures from arbitrary text: BarPar loaded from the settings
// store as the checker loads it, its text form read back, and a barcode
// checked against the structures.
//
// Input: [barcode][0 byte][BarPar text], both UTF-8.
#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "barcode.h"
#include "settings.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Whether the structures' text form reads back as the same structures: not
// when a colon sits in a field before the last (fields are not escaped).
bool roundTrips(const BarcodeStructure& s)
{
    return s.Verify != QLatin1Char(':') && !s.Prefix.contains(QLatin1Char(':'))
        && !s.BegBound.contains(QLatin1Char(':'));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The settings store in a folder of its own for the whole run, in memory
    // where there is a memory file system: every input writes it.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static QTemporaryDir folder(base + QStringLiteral("/tagging-fuzz-XXXXXX"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* text = reinterpret_cast<const char*>(data);
    const auto* end = static_cast<const char*>(std::memchr(text, 0, size));
    const std::size_t barcodeSize = end ? static_cast<std::size_t>(end - text) : size;
    const QString barcode = QString::fromUtf8(text, static_cast<qsizetype>(barcodeSize));
    const QString barPar =
        end ? QString::fromUtf8(end + 1, static_cast<qsizetype>(size - barcodeSize - 1)) : QString();

    const std::vector<BarcodeStructure> parsed = parseBarPar(barPar);
    for (const BarcodeStructure& s : parsed) {
        check(s.Prefix.size() <= BarcodeStructure::kPrefixWidth);
        check(s.BegBound.size() <= BarcodeStructure::kBoundWidth && s.EndBound.size() <= BarcodeStructure::kBoundWidth);
        if (roundTrips(s)) {
            const auto again = parseBarPar(formatBarParLine(s));
            check(again.size() == 1 && again[0] == s);
        }
    }

    CSettings().setBarPar(barPar);
    CBarcodeChecker checker;
    const bool accepted = checker.check(barcode);
    check(checker.structures() == parsed);
    check(accepted == checker.message().isEmpty());
    check(barcode.startsWith(checker.result()));
    check(!accepted || !checker.result().isEmpty() || barcode.isEmpty());

    (void)itemIdFromText(checker.result());
    (void)leadingShort(barcode, true);
    return 0;
}
