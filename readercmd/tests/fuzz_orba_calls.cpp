// The commands of the ORBA table that read answers: carrier records, block
// lists, single-answer records, chip answers cut into slots, texts.
#include "fuzz_answers.h"
#include "quorvel_orba.h"
#include "quorvel_orba_reader.h"

namespace quorvel::fuzz {

namespace {

constexpr std::size_t kSlots = ORBA_MAX_RECORDS * ORBA_RECORD_SLOT_SIZE;

// A single-answer tag command's outputs.
#define RECORD0 a.out<std::uint8_t>(), a.out<std::uint8_t>(ORBA_MAX_ANSWER), a.status()

#define GETTER(name, T) {#name, [](Args& a) { a.check(name(kHandle, a.out<T>(), a.status())); }}
#define TEXT_GETTER(name) {#name, [](Args& a) { a.check(name(kHandle, a.textOut(ORBA_TEXT_SIZE), a.status())); }}

const Call kCalls[] = {
    {"ORBA_GenericCommandISO15693",
     [](Args& a) {
         const std::uint8_t length = a.u8();
         a.check(ORBA_GenericCommandISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), length,
                                             a.in(length), a.out<std::uint8_t>(),
                                             a.out<std::uint8_t>(ORBA_MAX_RECORDS), a.out<std::uint8_t>(kSlots),
                                             a.status()));
     }},
    {"ORBA_InventoryISO15693",
     [](Args& a) {
         a.check(ORBA_InventoryISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.in(32), a.out<std::uint8_t>(),
                                        a.out<std::uint8_t>(ORBA_MAX_RECORDS), a.out<std::uint8_t>(kSlots),
                                        a.status()));
     }},
    {"ORBA_StayQuietISO15693", [](Args& a) { a.check(ORBA_StayQuietISO15693(kHandle, a.in(8), a.status())); }},
    {"ORBA_ReadBlockISO15693",
     [](Args& a) { a.check(ORBA_ReadBlockISO15693(kHandle, a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_WriteBlockISO15693",
     [](Args& a) {
         const std::int32_t count = a.i32();
         a.check(ORBA_WriteBlockISO15693(kHandle, a.i32(), count, a.in(static_cast<std::uint8_t>(count)), a.i32(),
                                         a.i32(), a.in(8), RECORD0));
     }},
    {"ORBA_LockBlockISO15693",
     [](Args& a) { a.check(ORBA_LockBlockISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_SelectISO15693", [](Args& a) { a.check(ORBA_SelectISO15693(kHandle, a.in(8), RECORD0)); }},
    {"ORBA_RTReadyISO15693", [](Args& a) { a.check(ORBA_RTReadyISO15693(kHandle, a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_WriteAfiISO15693",
     [](Args& a) { a.check(ORBA_WriteAfiISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_LockAfiISO15693",
     [](Args& a) { a.check(ORBA_LockAfiISO15693(kHandle, a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_WriteDsfidISO15693",
     [](Args& a) { a.check(ORBA_WriteDsfidISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_LockDsfidISO15693",
     [](Args& a) { a.check(ORBA_LockDsfidISO15693(kHandle, a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_SystemInfoISO15693",
     [](Args& a) { a.check(ORBA_SystemInfoISO15693(kHandle, a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_BlockStatusISO15693",
     [](Args& a) { a.check(ORBA_BlockStatusISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RECORD0)); }},
    {"ORBA_GetUplinkISO15693",
     [](Args& a) {
         a.check(ORBA_GetUplinkISO15693(kHandle, a.out<std::int32_t>(), a.out<std::int32_t>(),
                                        a.out<std::int32_t>(), a.status()));
     }},
    {"ORBA_GetTimingISO15693",
     [](Args& a) {
         a.check(ORBA_GetTimingISO15693(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.status()));
     }},
    {"ORBA_DefineType",
     [](Args& a) {
         a.check(ORBA_DefineType(kHandle, a.i32(), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                                 a.out<std::uint8_t>(), a.out<std::uint8_t>(ORBA_LIST_SIZE), a.status()));
     }},
    {"ORBA_BoardStatus",
     [](Args& a) {
         a.check(ORBA_BoardStatus(kHandle, a.out<std::uint8_t>(), a.out<std::int32_t>(), a.out<std::int32_t>(),
                                  a.out<std::int32_t>(), a.out<std::int32_t>(), a.out<std::int32_t>(),
                                  a.status()));
     }},
    {"ORBA_ChangeIO",
     [](Args& a) {
         a.check(ORBA_ChangeIO(kHandle, a.i32(), a.inOut(1), reinterpret_cast<std::int32_t*>(a.inOut(4)),
                               reinterpret_cast<std::int32_t*>(a.inOut(4)), a.inOut(1), a.inOut(1), a.status()));
     }},
    {"ORBA_VersionQuery",
     [](Args& a) {
         a.check(ORBA_VersionQuery(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                                   a.out<std::uint8_t>(), a.status()));
     }},
    GETTER(ORBA_GetReaderAddress, std::uint8_t),
    {"ORBA_GetSupportedFunctions",
     [](Args& a) {
         a.check(ORBA_GetSupportedFunctions(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                                            a.out<std::uint8_t>(6), a.status()));
     }},
    {"ORBA_FlashRead", [](Args& a) { a.check(ORBA_FlashRead(kHandle, a.i32(), a.out<std::uint8_t>(), a.status())); }},
    {"ORBA_ScanRf",
     [](Args& a) {
         a.check(ORBA_ScanRf(kHandle, a.i32(), 0, a.i32(), a.i32(), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                             a.out<std::uint8_t>(ORBA_LIST_SIZE), a.status()));
     }},
    {"ORBA_ReadPageCHD",
     [](Args& a) {
         a.check(ORBA_ReadPageCHD(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.out<std::uint8_t>(kSlots),
                                  a.status()));
     }},
    {"ORBA_ReadDefaultMessageCHD",
     [](Args& a) {
         a.check(ORBA_ReadDefaultMessageCHD(kHandle, a.i32(), a.i32(), a.out<std::uint8_t>(kSlots), a.status()));
     }},
    {"ORBA_ReadBlockTagIt",
     [](Args& a) {
         a.check(ORBA_ReadBlockTagIt(kHandle, a.i32(), a.i32(), a.in(4), a.out<std::uint8_t>(),
                                     a.out<std::uint32_t>(), a.status()));
     }},
    {"ORBA_GetVersionTagIt",
     [](Args& a) {
         a.check(ORBA_GetVersionTagIt(kHandle, a.i32(), a.inOut(4), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                                      a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.status()));
     }},
    {"ORBA_SIDPollTagIt",
     [](Args& a) {
         a.check(ORBA_SIDPollTagIt(kHandle, a.i32(), a.in(4), a.out<std::uint16_t>(), a.out<std::uint8_t>(kSlots),
                                   a.status()));
     }},
    {"ORBA_ReadCHB",
     [](Args& a) {
         a.check(ORBA_ReadCHB(kHandle, a.i32(), a.i32(), a.i32(), a.u8() * 13.11, a.out<std::uint8_t>(),
                              a.out<std::uint8_t>(kSlots), a.status()));
     }},
    {"ORBA_WriteCHB",
     [](Args& a) {
         a.check(ORBA_WriteCHB(kHandle, a.i32(), a.in(5), a.in(5), a.i32(), a.out<std::uint8_t>(), a.status()));
     }},
    {"ORBA_ReadBlockCHG",
     [](Args& a) {
         a.check(ORBA_ReadBlockCHG(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(),
                                   a.out<std::uint8_t>(kSlots), a.status()));
     }},
    {"ORBA_AnticollisionSelectCHG",
     [](Args& a) {
         a.check(ORBA_AnticollisionSelectCHG(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.out<std::uint16_t>(),
                                             a.out<std::int32_t>(), a.status()));
     }},
    {"ORBA_RefreshSelectionCHG",
     [](Args& a) {
         a.check(ORBA_RefreshSelectionCHG(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.u16(),
                                          a.out<std::uint16_t>(), a.out<std::uint16_t>(), a.out<std::uint16_t>(),
                                          a.out<std::uint16_t>(), a.status()));
     }},
    {"ORBA_WriteBlockCHG",
     [](Args& a) {
         a.check(ORBA_WriteBlockCHG(kHandle, a.i32(), a.in(4), a.u16(), a.out<std::uint16_t>(), a.status()));
     }},
    {"ORBA_HaltCHG",
     [](Args& a) { a.check(ORBA_HaltCHG(kHandle, a.u16(), a.out<std::uint16_t>(), a.status())); }},
    {"ORBA_ResetQuietCHG",
     [](Args& a) {
         a.check(ORBA_ResetQuietCHG(kHandle, a.out<std::uint16_t>(), a.out<std::uint16_t>(), a.out<std::uint16_t>(),
                                    a.out<std::uint16_t>(), a.status()));
     }},
    {"ORBA_ReadNSNTCHJ",
     [](Args& a) {
         a.check(ORBA_ReadNSNTCHJ(kHandle, a.i32(), a.out<std::int32_t>(), a.out<std::uint16_t>(16), a.status()));
     }},
    {"ORBA_GetStandaloneGeneral",
     [](Args& a) {
         a.check(ORBA_GetStandaloneGeneral(kHandle, a.out<std::uint8_t>(ORBA_STANDALONE_GENERAL_SIZE), a.status()));
     }},
    TEXT_GETTER(ORBA_GetStandalonePrefix),
    TEXT_GETTER(ORBA_GetStandaloneSuffix),
    TEXT_GETTER(ORBA_GetStandaloneNoReadMessage),
    {"ORBA_GetStandaloneChipDescription",
     [](Args& a) {
         a.check(ORBA_GetStandaloneChipDescription(kHandle, a.i32(), a.textOut(ORBA_TEXT_SIZE), a.status()));
     }},
};

} // namespace

std::span<const Call> orbaCalls()
{
    return kCalls;
}

} // namespace quorvel::fuzz
