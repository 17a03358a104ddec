// The TALU family's further commands as table rows (see tables.h): reader
// set-up, I/O lines, standalone output and the commands of other chip types.
// TALU getters fill their outputs only when bit 7 of the status byte is clear.
// h is the link handle, s the reader status byte output.
#include "quorvel_talu_reader.h"
#include "tables.h"

using namespace quorvel;
using namespace quorvel::tables;

namespace {

constexpr Fill kGet = Fill::ClearedIfOk;
constexpr ParameterCommands kStandalone{0x0E, 0x0E, kGet};
constexpr std::uint8_t kChb = 0x11;
constexpr std::uint8_t kChj = 0x25;
constexpr std::size_t kStarBlock = 36;

std::uint8_t bitIf(std::int32_t flag, std::uint8_t bit)
{
    return flag != 0 ? bit : std::uint8_t{0};
}

bool validChd(std::int32_t page, std::int32_t area)
{
    return page >= 0 && page <= 7 && area >= 0 && area <= 3;
}

// The CHD page byte: page in bits 4 to 6, flags A and B, area in bits 0 and 1.
std::int32_t chdPage(std::int32_t flagA, std::int32_t flagB, std::int32_t page, std::int32_t area)
{
    return ((page & 7) << 4) | bitIf(flagA, 0x04) | bitIf(flagB, 0x08) | area;
}

// [n] and the CHG mask from the front of the buffer: (n / 8) & 0x1F bytes when n > 7, else one.
Request& chgMask(Request& r, std::int32_t maskLength, const std::uint8_t* buffer)
{
    const auto bits = static_cast<std::size_t>(maskLength & 0xFF);
    return r.byte(maskLength).bytes(buffer, bits > 7 ? (bits / 8) & 0x1F : 1);
}

std::uint8_t chipDescription(std::int32_t chipType)
{
    switch (chipType) {
    case 1: return 0x02;
    case 2: return 0x03;
    case 4: return 0x06;
    case 8: return 0x07;
    case 16: return 0x08;
    case 32: return 0x09;
    default: return 0xFF;
    }
}

// One STAR record from its block: see TALU_ReadSTARCHJ.
void starRecord(std::span<const std::uint8_t> block, std::int32_t* flag, std::uint16_t* values, std::uint8_t* byte)
{
    const Fields f(block, Fields::Missing::Zero);
    f.bit(flag, 0, 0x01);
    const bool whole = block.size() == kStarBlock;
    const std::size_t taken = whole ? TALU_STAR_VALUES : 4;
    for (std::size_t i = 0; i < TALU_STAR_VALUES && values; ++i) {
        if (i < taken)
            f.word(values + i, 2 + 2 * i);
        else
            values[i] = 0;
    }
    if (whole)
        f.byte(byte, 1);
    else
        Fields::put(byte, std::uint8_t{0});
}

} // namespace

extern "C" {

// --- Reader set-up --------------------------------------------------------------------------------------------

QVL_API int32_t TALU_SetBaudrate(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, 0x06, Request().byte(value), s);
}

QVL_API int32_t TALU_SetIO(int32_t h, int32_t flag, uint8_t* s)
{
    return status(h, 0x07, Request().flag(flag), s);
}

QVL_API int32_t TALU_GetIO(int32_t h, int32_t* valueA, int32_t* valueB, uint8_t* s)
{
    return get(h, 0x07, {}, s, kGet, [=](const Fields& f) {
        f.bit(valueA, 0, 0x01);
        f.bit(valueB, 0, 0x02);
    });
}

QVL_API int32_t TALU_Reset(int32_t h, uint8_t* s)
{
    return status(h, 0x0F, {}, s);
}

QVL_API int32_t TALU_SetAddress(int32_t h, int32_t address, uint8_t* s)
{
    return status(h, 0x16, Request().byte(address), s);
}

QVL_API int32_t TALU_GetAddress(int32_t h, uint8_t* address, uint8_t* s)
{
    return get(h, 0x16, {}, s, kGet, [=](const Fields& f) { f.byte(address, 0); });
}

QVL_API int32_t TALU_DetectChipType(int32_t h, int32_t flag, uint8_t* type, uint8_t* length, uint8_t* data, uint8_t* s)
{
    return get(h, 0x00, Request().flag(flag), s, kGet, [=](const Fields& f) {
        f.byte(type, 0);
        f.tail(data, length, 1);
    });
}

// --- CHA and CHD chips ----------------------------------------------------------------------------------------

QVL_API int32_t TALU_ReadCHA(int32_t h, uint8_t* data, uint8_t* s)
{
    return get(h, 0x01, {}, s, kGet, [=](const Fields& f) { f.all(data); });
}

QVL_API int32_t TALU_ReadCHD(int32_t h, int32_t flagA, int32_t flagB, int32_t page, int32_t area, int32_t count,
                             uint8_t* data, uint8_t* s)
{
    const Request r = Request()
                          .require(validChd(page, area) && count >= 1 && count <= 4 - area)
                          .byte(chdPage(flagA, flagB, page, area))
                          .byte(count & 7);
    return get(h, 0x01, r, s, kGet, [=](const Fields& f) { f.all(data); });
}

QVL_API int32_t TALU_SetPasswordCHD(int32_t h, int32_t selector, const uint8_t* password, uint8_t* s)
{
    return status(h, 0x02, Request().require(selector == 0 || selector == 1).byte(selector).bytes(password, 8), s);
}

QVL_API int32_t TALU_WriteCHD(int32_t h, int32_t flagA, int32_t flagB, int32_t page, int32_t area, const uint8_t* data,
                              uint8_t* s)
{
    const Request r = Request().require(validChd(page, area)).byte(chdPage(flagA, flagB, page, area)).bytes(data, 8);
    return status(h, 0x03, r, s);
}

// --- CHB chips ------------------------------------------------------------------------------------------------

QVL_API int32_t TALU_ReadAllCHB(int32_t h, uint8_t* value, uint8_t* valueA, uint8_t* valueB, uint8_t* s)
{
    return get(h, 0x10, {}, s, kGet, [=](const Fields& f) {
        f.bytes(valueA, 0, 5);
        f.byte(value, 5);
        f.bytes(valueB, 6, 5);
    });
}

QVL_API int32_t TALU_WriteAllCHB(int32_t h, int32_t value, const uint8_t* valueA, const uint8_t* valueB, uint8_t* s)
{
    return status(h, kChb, Request().bytes(valueA, 5).byte(value).bytes(valueB, 5), s);
}

QVL_API int32_t TALU_WriteEasCHB(int32_t h, int32_t flagA, int32_t flagB, uint8_t* s)
{
    return status(h, kChb, Request().byte(bitIf(flagB, 0x80) | bitIf(flagA, 0x01)), s);
}

QVL_API int32_t TALU_QuietCHB(int32_t h, uint8_t* s)
{
    return status(h, kChb, {}, s);
}

// --- CHJ chips ------------------------------------------------------------------------------------------------

QVL_API int32_t TALU_ReadNSNTCHJ(int32_t h, int32_t flag, int32_t* flagOut, uint16_t* values, uint8_t* s)
{
    return get(h, 0x04, layout::highBit(flag), s, kGet, [=](const Fields& f) { readNsnt(f, flagOut, values); });
}

QVL_API int32_t TALU_ReadSTARCHJ(int32_t h, int32_t flag1, int32_t flag2, int32_t flag3, int32_t flag4, int32_t valueA,
                                 uint16_t valueB, int32_t valueC, int32_t* count, int32_t* flags, uint16_t* records,
                                 uint8_t* bytes, uint8_t* s)
{
    const std::uint8_t selection = bitIf(flag1, 0x80) | bitIf(flag2, 0x10) | bitIf(flag3, 0x08) | bitIf(flag4, 0x01);
    Answer answer;
    const Outcome outcome = run(h, 0x24, Request().byte(selection).word(valueB).byte(valueA).byte(valueC), answer, s);
    if (!outcome.answered)
        return outcome.code;
    if (answer.refused() || !answer.isBlockList()) {
        Fields::put(count, std::int32_t{0});
        return 0;
    }
    const std::int32_t n = eachRecord(answer, kTaluRecords.listArea, TALU_MAX_STAR_RECORDS,
                                      [=](std::size_t at, std::span<const std::uint8_t> block) {
                                          starRecord(block, flags ? flags + at : nullptr,
                                                     records ? records + at * TALU_STAR_VALUES : nullptr,
                                                     bytes ? bytes + at : nullptr);
                                      });
    if (n < 0)
        return n;
    Fields::put(count, n);
    return 0;
}

QVL_API int32_t TALU_WriteEASCHJ(int32_t h, int32_t flag, uint8_t* s)
{
    return status(h, kChj, Request().byte(0x00).flag(flag), s);
}

QVL_API int32_t TALU_WritePageSecurityCHJ(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, kChj, Request().byte(0x11).byte(value), s);
}

QVL_API int32_t TALU_WriteMultiPageCHJ(int32_t h, int32_t firstPage, int32_t itemCount, const uint16_t* items,
                                       uint8_t* s)
{
    return status(h, kChj, layout::pages(firstPage, itemCount, items), s);
}

QVL_API int32_t TALU_WritePageCHJ(int32_t h, int32_t page, uint16_t value, uint8_t* s)
{
    return status(h, kChj, layout::pages(page, 1, &value), s);
}

// --- CHG chips ------------------------------------------------------------------------------------------------

QVL_API int32_t TALU_AnticollisionSelectCHG(int32_t h, int32_t flag, int32_t valueA, int32_t valueB, int32_t valueC,
                                            int32_t maskLength, uint8_t* buffer, uint8_t* s)
{
    Request r;
    r.byte(bitIf(flag, 0x80)).byte(valueA).byte(valueB).byte(valueC);
    return get(h, 0x30, chgMask(r, maskLength, buffer), s, kGet, [=](const Fields& f) { f.all(buffer); });
}

QVL_API int32_t TALU_SelectedReadCHG(int32_t h, int32_t valueA, int32_t valueB, int32_t valueC, int32_t valueD,
                                     uint8_t* data, uint8_t* s)
{
    return get(h, 0x31, Request().byte(valueB).byte(valueD).byte(valueC).byte(valueA), s, kGet,
               [=](const Fields& f) { f.all(data); });
}

QVL_API int32_t TALU_SelectedWriteCHG(int32_t h, int32_t maskLength, uint8_t* buffer, int32_t value,
                                      const uint8_t* data, uint8_t* s)
{
    Request r;
    r.bytes(data, 4).byte(value);
    return get(h, 0x32, chgMask(r, maskLength, buffer), s, kGet, [=](const Fields& f) { f.all(buffer); });
}

QVL_API int32_t TALU_HaltCHG(int32_t h, int32_t maskLength, uint8_t* buffer, uint8_t* s)
{
    Request r;
    return get(h, 0x33, chgMask(r, maskLength, buffer), s, kGet, [=](const Fields& f) { f.all(buffer); });
}

QVL_API int32_t TALU_ResetQuietCHG(int32_t h, uint8_t* s)
{
    return status(h, 0x34, {}, s);
}

QVL_API int32_t TALU_UnselectedReadCHG(int32_t h, int32_t flag, int32_t valueA, int32_t valueB, int32_t valueC,
                                       int32_t valueD, int32_t valueF, int32_t valueE, int32_t valueG, int32_t valueH,
                                       uint8_t* recordCount, uint8_t* records, uint8_t* s)
{
    const Request r = Request()
                          .byte(bitIf(flag, 0x80))
                          .byte(valueA).byte(valueB).byte(valueC).byte(valueD)
                          .byte(valueE).byte(valueF).byte(valueG).byte(valueH);
    return tables::records(h, 0x35, r, kTaluRecords, {recordCount, nullptr, records, TALU_MAX_RECORDS}, s);
}

// --- Standalone output ----------------------------------------------------------------------------------------

QVL_API int32_t TALU_SetStandaloneGeneral(int32_t h, const uint8_t* settings, uint8_t* s)
{
    return setBytes(h, kStandalone, 0x00, settings, TALU_STANDALONE_GENERAL_SIZE, s);
}

QVL_API int32_t TALU_GetStandaloneGeneral(int32_t h, uint8_t* settings, uint8_t* s)
{
    return getBytes(h, kStandalone, 0x00, settings, TALU_STANDALONE_GENERAL_SIZE, s);
}

QVL_API int32_t TALU_SetStandalonePrefix(int32_t h, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, 0x01, text, s);
}

QVL_API int32_t TALU_GetStandalonePrefix(int32_t h, char* text, uint8_t* s)
{
    return getText(h, kStandalone, 0x01, text, s);
}

QVL_API int32_t TALU_SetStandaloneSuffix(int32_t h, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, 0x04, text, s);
}

QVL_API int32_t TALU_GetStandaloneSuffix(int32_t h, char* text, uint8_t* s)
{
    return getText(h, kStandalone, 0x04, text, s);
}

QVL_API int32_t TALU_SetStandaloneNoReadMessage(int32_t h, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, 0x05, text, s);
}

QVL_API int32_t TALU_GetStandaloneNoReadMessage(int32_t h, char* text, uint8_t* s)
{
    return getText(h, kStandalone, 0x05, text, s);
}

QVL_API int32_t TALU_SetStandaloneChipDescription(int32_t h, int32_t chipType, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, chipDescription(chipType), text, s);
}

QVL_API int32_t TALU_GetStandaloneChipDescription(int32_t h, int32_t chipType, char* text, uint8_t* s)
{
    return getText(h, kStandalone, chipDescription(chipType), text, s);
}

} // extern "C"
