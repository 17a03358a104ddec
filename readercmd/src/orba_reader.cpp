// The ORBA family's further commands as table rows (see tables.h): reader
// set-up and status, I/O lines, RF control and scan, flash cells, standalone
// output and the commands of other chip types. h is the link handle, s the
// reader status byte output.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "quorvel_orba_reader.h"
#include "tables.h"

using namespace quorvel;
using namespace quorvel::tables;

namespace {

static_assert(ORBA_RECORD_SLOT_SIZE == kSlotSize);

constexpr Fill kGet = Fill::Cleared;
constexpr ParameterCommands kStandalone{0x0E, 0x0E, kGet};
constexpr std::uint8_t kVersionQuery = 0x0B; // also stops an RF scan
constexpr std::uint8_t kChj = 0x55;

std::uint8_t bitIf(std::int32_t flag, std::uint8_t bit)
{
    return flag != 0 ? bit : std::uint8_t{0};
}

// The CHD page byte: page in bits 4 to 6, area in bits 0 and 1.
std::int32_t chdPage(std::int32_t page, std::int32_t area)
{
    return ((page << 4) & 0x7F) | (area & 3);
}

Request rfControl(std::int32_t selector, std::uint8_t flags)
{
    Request r;
    switch (selector) {
    case 0:
        return r.byte(flags);
    case 1:
        return r.byte(flags).byte(flags);
    case ORBA_RF_SERVICE_CLEAR:
        return r.byte(flags & ~0x04).word(ORBA_SERVICE_CODE);
    case ORBA_RF_SERVICE_SET:
        return r.byte(flags | 0x04).word(ORBA_SERVICE_CODE);
    default:
        return r;
    }
}

// [n][the 32-bit mask (byte 0 high) shifted left by (32 - 4n) mod 32, high byte first].
Request sidPoll(std::int32_t bitCount, const std::uint8_t* mask)
{
    Request r;
    r.byte(bitCount);
    if (!mask)
        return r.require(false);
    const std::uint32_t value = std::uint32_t{mask[0]} << 24 | std::uint32_t{mask[1]} << 16 |
                                std::uint32_t{mask[2]} << 8 | mask[3];
    const std::uint32_t shifted = value << ((32u - 4u * static_cast<std::uint32_t>(bitCount)) & 31u);
    return r.word(shifted >> 16).word(shifted & 0xFFFF);
}

// The CHB read's one byte: a time in units of 13.11 ms less 4, and flag A.
Request chbRead(std::int32_t withData, std::int32_t flagA, std::int32_t timed, double timeMs)
{
    Request r;
    if (withData == 0)
        return r;
    std::int32_t units = 0;
    if (timed != 0) {
        const double t = std::trunc(timeMs / 13.11);
        if (!std::isfinite(t) || t < INT_MIN + 4.0 || t > INT_MAX)
            return r.require(false);
        units = (static_cast<std::int32_t>(t) - 4) & 0x7F;
    }
    return r.byte(units | bitIf(flagA, 0x80));
}

// CHB records of 6 bytes, or 10 when bit 2 of their byte 5 is set, one per slot.
void chbRecords(const Fields& f, std::uint8_t* count, std::uint8_t* records)
{
    const auto data = f.data();
    std::size_t n = 0;
    for (std::size_t at = 0; n < ORBA_MAX_RECORDS && f.has(at + 6); ++n) {
        const std::size_t length = (data[at + 5] & 0x04) ? 10 : 6;
        if (!f.has(at + length))
            break;
        toSlot(records, ORBA_RECORD_SLOT_SIZE, n, data.subspan(at, length));
        at += length;
    }
    Fields::put(count, static_cast<std::uint8_t>(n));
}

void readIo(const Fields& f, std::uint8_t image, std::uint8_t* outputs, std::int32_t* flagA, std::int32_t* flagB,
            std::uint8_t* valueC, std::uint8_t* valueD)
{
    std::uint8_t lines = 0;
    std::int32_t a = 0;
    if (f.has(1)) {
        const std::uint8_t low = f.data()[0];
        a = (low & 0x80) ? 1 : 0;
        lines = static_cast<std::uint8_t>((low & 0x0F) | (f.has(2) ? f.data()[1] << 4 : image));
    }
    Fields::put(outputs, lines);
    Fields::put(flagA, a);
    Fields::put(flagB, std::int32_t{0});
    f.byte(valueC, 2);
    f.byte(valueD, 3);
}

std::uint8_t chipDescription(std::int32_t chipType)
{
    switch (chipType) {
    case 7: return 0x02;
    case 8: return 0x03;
    case 32: return 0x04;
    case 33: return 0x0A;
    case 64: return 0x05;
    case 128: return 0x06;
    case 192: return 0x07;
    default: return 0xFF;
    }
}

template <typename T>
std::int32_t in(const T* value)
{
    return value ? static_cast<std::int32_t>(*value) : 0;
}

} // namespace

extern "C" {

// --- Reader set-up and status ---------------------------------------------------------------------------------

QVL_API int32_t ORBA_DefineType(int32_t h, int32_t type, uint8_t* valueA, uint8_t* valueB, uint8_t* count,
                                uint8_t* list, uint8_t* s)
{
    const bool listed = (type & 0xFF) == 17 || (type & 0xFF) == 19;
    return get(h, 0x00, Request().byte(type), s, kGet, [=](const Fields& f) {
        f.byte(valueA, 0);
        if (listed) {
            Fields::put(valueB, std::uint8_t{0});
            f.tail(list, count, 1, ORBA_LIST_SIZE);
        } else {
            f.byte(valueB, 1);
            Fields::put(count, std::uint8_t{0});
        }
    });
}

QVL_API int32_t ORBA_BoardStatus(int32_t h, uint8_t* value, int32_t* flag1, int32_t* flag2, int32_t* flag3,
                                 int32_t* flag4, int32_t* flag5, uint8_t* s)
{
    return get(h, 0x06, {}, s, kGet, [=](const Fields& f) {
        f.byte(value, 0);
        f.bit(flag1, 1, 0x01);
        f.bit(flag2, 1, 0x02);
        f.bit(flag3, 1, 0x10);
        f.bit(flag4, 1, 0x40);
        f.bit(flag5, 1, 0x80);
    });
}

QVL_API int32_t ORBA_ChangeIO(int32_t h, int32_t operation, uint8_t* outputs, int32_t* flagA, int32_t* flagB,
                              uint8_t* valueC, uint8_t* valueD, uint8_t* s)
{
    if (const int32_t valid = LVRM_IsHandleValid(h); valid != 0)
        return valid;
    LinkSettings& link = *linkSettings(h);
    Request r;
    if (operation == 1 || operation == 2)
        r.byte(bitIf(in(flagA), 0x01) | bitIf(in(flagB), 0x02)).byte(in(outputs));
    if (operation == 2)
        r.byte(in(valueC) & 0x0F).byte(in(valueD));
    if (operation == 1)
        link.orbaOutputImage = static_cast<std::uint8_t>(in(outputs) & 0xF0);
    const std::uint8_t image = link.orbaOutputImage;
    return get(h, 0x07, r, s, kGet,
               [=](const Fields& f) { readIo(f, image, outputs, flagA, flagB, valueC, valueD); });
}

QVL_API int32_t ORBA_Sleep(int32_t h, uint8_t* s)
{
    return status(h, 0x0A, {}, s);
}

QVL_API int32_t ORBA_VersionQuery(int32_t h, uint8_t* value1, uint8_t* value2, uint8_t* value3, uint8_t* value4,
                                  uint8_t* s)
{
    Answer answer;
    const Outcome outcome = run(h, kVersionQuery, {}, answer, s);
    if (!outcome.answered)
        return outcome.code;
    uint8_t* outs[] = {value1, value2, value3, value4};
    for (uint8_t* out : outs)
        Fields::put(out, std::uint8_t{0xFF});
    const auto data = answerBytes(answer);
    if (data.size() < 2)
        return LVRM_ERR_INCOMPLETE_ANSWER;
    for (std::size_t i = 0; i < 4; ++i)
        if (i < 2 || data.size() >= 4)
            Fields::put(outs[i], data[i]);
    return 0;
}

QVL_API int32_t ORBA_RfControl(int32_t h, int32_t selector, int32_t flag1, int32_t flag2, int32_t flag3, uint8_t* s)
{
    return status(h, 0x0C, rfControl(selector, bitIf(flag1, 0x10) | bitIf(flag2, 0x01) | bitIf(flag3, 0x02)), s);
}

QVL_API int32_t ORBA_Reset(int32_t h, uint8_t* s)
{
    return status(h, 0x0F, {}, s);
}

QVL_API int32_t ORBA_SetReaderAddress(int32_t h, int32_t address, uint8_t* s)
{
    return status(h, 0x16, Request().byte(0xFF).byte(address), s);
}

QVL_API int32_t ORBA_GetReaderAddress(int32_t h, uint8_t* address, uint8_t* s)
{
    return get(h, 0x16, {}, s, kGet, [=](const Fields& f) { f.byte(address, 1); });
}

QVL_API int32_t ORBA_SetReaderMode(int32_t h, int32_t mode, uint8_t* s)
{
    return status(h, 0x17, Request().byte(mode), s);
}

QVL_API int32_t ORBA_GetSupportedFunctions(int32_t h, uint8_t* valueA, uint8_t* valueB, uint8_t* record, uint8_t* s)
{
    return get(h, 0x61, {}, s, kGet, [=](const Fields& f) {
        f.byte(valueA, 0, 2);
        f.byte(valueB, 1, 2);
        f.bytes(record, 2, 6);
    });
}

QVL_API int32_t ORBA_FlashRead(int32_t h, int32_t address, uint8_t* value, uint8_t* s)
{
    return get(h, 0x7F, Request().word(ORBA_SERVICE_CODE).byte(address), s, kGet,
               [=](const Fields& f) { f.byte(value, 0); });
}

QVL_API int32_t ORBA_FlashWrite(int32_t h, int32_t address, int32_t value, uint8_t* s)
{
    return status(h, 0x7F, Request().word(ORBA_SERVICE_CODE).byte(address).byte(value), s);
}

QVL_API int32_t ORBA_ScanRf(int32_t h, int32_t channel, uint32_t timeMs, int32_t flagA, int32_t flagB, uint8_t* value,
                            uint8_t* count, uint8_t* list, uint8_t* s)
{
    const std::int32_t scan = ((channel & 0x3F) + bitIf(flagA, 0x80)) | bitIf(flagB, 0x40);
    Answer first;
    const Outcome outcome = run(h, 0x27, Request().byte(scan), first, s);
    if (!outcome.answered)
        return outcome.code;
    Fields::put(value, std::uint8_t{0});
    Fields::put(count, std::uint8_t{0});
    if (list)
        std::memset(list, 0, ORBA_LIST_SIZE);

    // The reader sends the second answer on its own when the scan ends; the
    // link hands it over through the same answer event.
    LinkSettings& link = *linkSettings(h);
    link.answerEvent.reset();
    const int wait = static_cast<int>(std::min<std::uint32_t>(timeMs, INT_MAX));
    if (LVRM_IsAnswerAvailable(h) != 1 && !link.answerEvent.wait(wait)) {
        LVRM_Send(h, link.frameMode, link.readerAddress, kVersionQuery, 0, nullptr, nullptr, nullptr, 0);
        return QVL_ERR_TIMEOUT;
    }
    Answer second;
    std::uint8_t mode = 0, address = 0;
    if (const int32_t got = LVRM_GetAnswer(h, &mode, &address, &second.status, &second.length, second.data.data());
        got != 0)
        return got;
    const Fields f(answerBytes(second), Fields::Missing::Zero);
    f.byte(value, 0);
    f.tail(list, count, 1, ORBA_LIST_SIZE);
    return 0;
}

// --- CHD chips ------------------------------------------------------------------------------------------------

QVL_API int32_t ORBA_ReadPageCHD(int32_t h, int32_t longForm, int32_t page, int32_t area, int32_t count,
                                 uint8_t* pages, uint8_t* s)
{
    return get(h, 0x01, Request().byte(chdPage(page, area)).byteIf(longForm != 0, count & 7), s, kGet,
               [=](const Fields& f) { f.pieces(pages, 0, 8, ORBA_MAX_RECORDS); });
}

QVL_API int32_t ORBA_CheckPwdCHD(int32_t h, int32_t selector, const uint8_t* password, int32_t flag, uint8_t* s)
{
    return status(h, 0x02, Request().byte((selector & 1) | bitIf(flag, 0x08)).bytes(password, 8), s);
}

QVL_API int32_t ORBA_WritePageCHD(int32_t h, int32_t page, int32_t area, const uint8_t* data, int32_t flag, uint8_t* s)
{
    return status(h, 0x03, Request().byte(chdPage(page, area) | bitIf(flag, 0x08)).bytes(data, 8), s);
}

QVL_API int32_t ORBA_TempInhCHD(int32_t h, const uint8_t* value, uint8_t* s)
{
    return status(h, 0x04, Request().bytes(value, 8), s);
}

QVL_API int32_t ORBA_ReadDefaultMessageCHD(int32_t h, int32_t valueA, int32_t valueB, uint8_t* pages, uint8_t* s)
{
    return get(h, 0x12, Request().byte(valueA & 0x7F).byte(valueB & 7), s, kGet,
               [=](const Fields& f) { f.pieces(pages, 0, 8, ORBA_MAX_RECORDS); });
}

// --- TagIt chips ----------------------------------------------------------------------------------------------

QVL_API int32_t ORBA_ReadBlockTagIt(int32_t h, int32_t block, int32_t addressed, const uint8_t* identifier,
                                    uint8_t* value, uint32_t* data, uint8_t* s)
{
    return get(h, 0x18, Request().bytesIf(addressed != 0, identifier, 4).byte(block), s, kGet, [=](const Fields& f) {
        f.byte(value, 0);
        std::array<std::uint8_t, 4> bytes{};
        f.bytes(bytes.data(), 1, 4);
        if (data)
            std::memcpy(data, bytes.data(), bytes.size());
    });
}

QVL_API int32_t ORBA_GetVersionTagIt(int32_t h, int32_t addressed, uint8_t* identifier, uint8_t* value1,
                                     uint8_t* value2, uint8_t* value3, uint8_t* value4, uint8_t* s)
{
    return get(h, 0x19, Request().bytesIf(addressed != 0, identifier, 4), s, kGet, [=](const Fields& f) {
        if (f.has(4))
            f.bytes(identifier, 0, 4);
        f.byte(value1, 4);
        f.byte(value2, 5);
        f.byte(value3, 6);
        f.byte(value4, 7);
    });
}

QVL_API int32_t ORBA_WriteBlockTagIt(int32_t h, int32_t block, int32_t addressed, const uint8_t* identifier,
                                     int32_t valueE, const uint8_t* data, uint8_t* s)
{
    return status(h, 0x1A, Request().bytesIf(addressed != 0, identifier, 4).byte(block).bytes(data, 4).byte(valueE), s);
}

QVL_API int32_t ORBA_SIDPollTagIt(int32_t h, int32_t bitCount, const uint8_t* mask, uint16_t* value, uint8_t* slots,
                                  uint8_t* s)
{
    return get(h, 0x1B, sidPoll(bitCount, mask), s, kGet, [=](const Fields& f) {
        f.word(value, 0);
        f.pieces(slots, 2, 4, ORBA_MAX_RECORDS);
    });
}

// --- CHB chips ------------------------------------------------------------------------------------------------

QVL_API int32_t ORBA_ReadCHB(int32_t h, int32_t withData, int32_t flagA, int32_t timed, double timeMs, uint8_t* count,
                             uint8_t* records, uint8_t* s)
{
    return get(h, 0x1C, chbRead(withData, flagA, timed, timeMs), s, kGet,
               [=](const Fields& f) { chbRecords(f, count, records); });
}

QVL_API int32_t ORBA_WriteCHB(int32_t h, int32_t flags, const uint8_t* valueA, const uint8_t* valueB, int32_t value,
                              uint8_t* answer, uint8_t* s)
{
    const Request r = Request()
                          .byte(flags)
                          .bytesIf(flags & ORBA_CHB_VALUE_A, valueA, 5)
                          .byteIf(flags & ORBA_CHB_BYTE, value)
                          .bytesIf(flags & ORBA_CHB_VALUE_B, valueB, 5);
    return get(h, 0x1D, r, s, kGet, [=](const Fields& f) { f.byte(answer, 0); });
}

// --- CHG chips ------------------------------------------------------------------------------------------------

QVL_API int32_t ORBA_ReadBlockCHG(int32_t h, int32_t valueA, int32_t valueB, int32_t valueC, int32_t valueD,
                                  int32_t shortForm, int32_t valueE, uint8_t* slots, uint8_t* s)
{
    const Request r = shortForm != 0 ? Request().byte(valueA).byte(valueB).byte(valueE)
                                     : Request().byte(valueA).byte(valueB).byte(valueC).byte(valueD);
    return get(h, 0x1F, r, s, kGet, [=](const Fields& f) { f.pieces(slots, 0, 4, ORBA_MAX_RECORDS); });
}

QVL_API int32_t ORBA_AnticollisionSelectCHG(int32_t h, int32_t valueA, int32_t valueB, int32_t longForm,
                                            int32_t valueC, uint16_t* value, int32_t* flag, uint8_t* s)
{
    return get(h, 0x20, Request().byte(valueA).byte(valueB).byteIf(longForm != 0, valueC), s, kGet,
               [=](const Fields& f) {
                   f.word(value, 0);
                   Fields::put(flag, f.has(3) && (f.data()[2] & 0x01) ? std::int32_t{0} : std::int32_t{1});
               });
}

QVL_API int32_t ORBA_RefreshSelectionCHG(int32_t h, int32_t flag1, int32_t flag2, int32_t flag3, int32_t shortForm,
                                         uint16_t value, uint16_t* value1, uint16_t* value2, uint16_t* value3,
                                         uint16_t* value4, uint8_t* s)
{
    Request r;
    r.byte(bitIf(flag1, 0x01) | bitIf(flag2, 0x02) | bitIf(flag3, 0x10));
    if (shortForm != 0)
        r.byte(value);
    else
        r.word(value);
    return get(h, 0x21, r, s, kGet, [=](const Fields& f) {
        f.word(value1, 0);
        f.word(value2, 2);
        f.word(value3, 4);
        f.word(value4, 6);
    });
}

QVL_API int32_t ORBA_WriteBlockCHG(int32_t h, int32_t block, const uint8_t* data, uint16_t value, uint16_t* answer,
                                   uint8_t* s)
{
    return get(h, 0x22, Request().byte(block).bytes(data, 4).word(value), s, kGet,
               [=](const Fields& f) { f.word(answer, 0); });
}

QVL_API int32_t ORBA_HaltCHG(int32_t h, uint16_t value, uint16_t* answer, uint8_t* s)
{
    return get(h, 0x23, Request().word(value), s, kGet, [=](const Fields& f) { f.word(answer, 0); });
}

QVL_API int32_t ORBA_ResetQuietCHG(int32_t h, uint16_t* value1, uint16_t* value2, uint16_t* value3, uint16_t* value4,
                                   uint8_t* s)
{
    return get(h, 0x24, {}, s, kGet, [=](const Fields& f) {
        f.word(value1, 0);
        f.word(value2, 2);
        f.word(value3, 4);
        f.word(value4, 6);
    });
}

// --- CHJ chips ------------------------------------------------------------------------------------------------

QVL_API int32_t ORBA_ReadNSNTCHJ(int32_t h, int32_t flag, int32_t* flagOut, uint16_t* values, uint8_t* s)
{
    return get(h, 0x54, layout::highBit(flag), s, kGet, [=](const Fields& f) { readNsnt(f, flagOut, values); });
}

QVL_API int32_t ORBA_WriteEASCHJ(int32_t h, int32_t flag, uint8_t* s)
{
    return status(h, kChj, Request().byte(0x00).flag(flag), s);
}

QVL_API int32_t ORBA_WritePageSecurityCHJ(int32_t h, int32_t value, uint8_t* s)
{
    return status(h, kChj, Request().byte(0x11).byte(value), s);
}

QVL_API int32_t ORBA_WriteMultiPageCHJ(int32_t h, int32_t firstPage, int32_t itemCount, const uint16_t* items,
                                       uint8_t* s)
{
    return status(h, kChj, layout::pages(firstPage, itemCount, items).require(firstPage >= 0 && firstPage < 16), s);
}

QVL_API int32_t ORBA_WritePageCHJ(int32_t h, int32_t page, uint16_t value, uint8_t* s)
{
    return ORBA_WriteMultiPageCHJ(h, page, 1, &value, s);
}

// --- Standalone output ----------------------------------------------------------------------------------------

QVL_API int32_t ORBA_SetStandaloneGeneral(int32_t h, const uint8_t* settings, uint8_t* s)
{
    return setBytes(h, kStandalone, 0x00, settings, ORBA_STANDALONE_GENERAL_SIZE, s);
}

QVL_API int32_t ORBA_GetStandaloneGeneral(int32_t h, uint8_t* settings, uint8_t* s)
{
    return getBytes(h, kStandalone, 0x00, settings, ORBA_STANDALONE_GENERAL_SIZE, s);
}

QVL_API int32_t ORBA_SetStandalonePrefix(int32_t h, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, 0x01, text, s);
}

QVL_API int32_t ORBA_GetStandalonePrefix(int32_t h, char* text, uint8_t* s)
{
    return getText(h, kStandalone, 0x01, text, s);
}

QVL_API int32_t ORBA_SetStandaloneSuffix(int32_t h, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, 0x08, text, s);
}

QVL_API int32_t ORBA_GetStandaloneSuffix(int32_t h, char* text, uint8_t* s)
{
    return getText(h, kStandalone, 0x08, text, s);
}

QVL_API int32_t ORBA_SetStandaloneNoReadMessage(int32_t h, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, 0x09, text, s);
}

QVL_API int32_t ORBA_GetStandaloneNoReadMessage(int32_t h, char* text, uint8_t* s)
{
    return getText(h, kStandalone, 0x09, text, s);
}

QVL_API int32_t ORBA_SetStandaloneChipDescription(int32_t h, int32_t chipType, const char* text, uint8_t* s)
{
    return setText(h, kStandalone, chipDescription(chipType), text, s);
}

QVL_API int32_t ORBA_GetStandaloneChipDescription(int32_t h, int32_t chipType, char* text, uint8_t* s)
{
    return getText(h, kStandalone, chipDescription(chipType), text, s);
}

} // extern "C"
