// The commands of the FENO table that read answers, and the link functions
// that do (command exchange, identification).
#include "fuzz_answers.h"
#include "linvaro.h"
#include "quorvel.h"
#include "quorvel_feno.h"
#include "quorvel_feno_reader.h"

namespace quorvel::fuzz {

namespace {

constexpr std::size_t kRaw = 255;
constexpr std::size_t kEntries = FENO_MAX_ENTRIES * FENO_ENTRY_SIZE;

// The addressing mode and, for mode 2, the UID.
#define MODE_UID std::uint8_t(a.i32()), a.in(8)

// A getter of one output of type T through a wedge-style export.
#define GETTER(name, T) {#name, [](Args& a) { a.check(name(kHandle, a.out<T>(), a.status())); }}

const Call kCalls[] = {
    {"QVL_CmdExec",
     [](Args& a) {
         const std::int32_t length = a.i32();
         a.check(QVL_CmdExec(kHandle, a.i32(), length, a.in(static_cast<std::uint8_t>(length)), a.status(),
                             a.out<std::uint8_t>(), a.out<std::uint8_t>(LVRM_ANSWER_DATA_SIZE)));
     }},
    {"QVL_IdentifyReaderOnNetwork",
     [](Args& a) {
         a.check(QVL_IdentifyReaderOnNetwork(kHandle, a.textOut(255), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                                             a.status()));
     }},
    {"FENO_InventoryISO15693Ex",
     [](Args& a) {
         a.check(FENO_InventoryISO15693Ex(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.in(32),
                                          a.u16(), a.out<std::int32_t>(), a.out<std::uint8_t>(kEntries),
                                          a.status()));
     }},
    {"FENO_InventoryISO15693",
     [](Args& a) {
         a.check(FENO_InventoryISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.in(32),
                                        a.u16(), a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_GenericCommandISO15693",
     [](Args& a) {
         const std::int32_t length = a.i32();
         a.check(FENO_GenericCommandISO15693(kHandle, a.i32(), a.i32(), a.i32(), length,
                                             a.in(static_cast<std::uint8_t>(length)), a.i32(), a.u16(),
                                             a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_GenericCommandISO15693Ex",
     [](Args& a) {
         const std::int32_t length = a.i32();
         a.check(FENO_GenericCommandISO15693Ex(kHandle, a.i32(), a.i32(), a.i32(), length,
                                               a.in(static_cast<std::uint8_t>(length)), a.i32(), a.u16(),
                                               a.out<std::int32_t>(), a.out<std::uint8_t>(kEntries), a.status()));
     }},
    {"FENO_ReadBlockISO15693",
     [](Args& a) {
         a.check(FENO_ReadBlockISO15693(kHandle, a.i32(), a.i32(), MODE_UID, a.u16(), a.out<std::uint8_t>(),
                                        a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_WriteBlockISO15693",
     [](Args& a) {
         const std::int32_t count = a.i32();
         a.check(FENO_WriteBlockISO15693(kHandle, a.i32(), count, a.in(static_cast<std::uint8_t>(count)), a.i32(),
                                         a.i32(), a.i32(), MODE_UID, a.u16(), a.out<std::uint8_t>(),
                                         a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_LockBlockISO15693",
     [](Args& a) {
         a.check(FENO_LockBlockISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), MODE_UID, a.u16(),
                                        a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_BlockStatusISO15693",
     [](Args& a) {
         a.check(FENO_BlockStatusISO15693(kHandle, a.i32(), a.i32(), a.i32(), MODE_UID, a.u16(),
                                          a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_SystemInfoISO15693",
     [](Args& a) {
         a.check(FENO_SystemInfoISO15693(kHandle, a.i32(), MODE_UID, a.u16(), a.out<std::uint8_t>(),
                                         a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_SelectISO15693",
     [](Args& a) {
         a.check(FENO_SelectISO15693(kHandle, a.i32(), a.in(8), a.u16(), a.out<std::uint8_t>(),
                                     a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_RTReadyISO15693",
     [](Args& a) {
         a.check(FENO_RTReadyISO15693(kHandle, a.i32(), MODE_UID, a.u16(), a.out<std::uint8_t>(),
                                      a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_WriteAfiISO15693",
     [](Args& a) {
         a.check(FENO_WriteAfiISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), MODE_UID, a.u16(),
                                       a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_LockAfiISO15693",
     [](Args& a) {
         a.check(FENO_LockAfiISO15693(kHandle, a.i32(), a.i32(), a.i32(), MODE_UID, a.u16(), a.out<std::uint8_t>(),
                                      a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_WriteDsfidISO15693",
     [](Args& a) {
         a.check(FENO_WriteDsfidISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), MODE_UID, a.u16(),
                                         a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_LockDsfidISO15693",
     [](Args& a) {
         a.check(FENO_LockDsfidISO15693(kHandle, a.i32(), a.i32(), a.i32(), MODE_UID, a.u16(),
                                        a.out<std::uint8_t>(), a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_ProgramEASCHMISO15693",
     [](Args& a) {
         a.check(FENO_ProgramEASCHMISO15693(kHandle, a.i32(), MODE_UID, a.i32(), a.u16(), a.out<std::uint8_t>(),
                                            a.out<std::uint8_t>(kRaw), a.status()));
     }},
    {"FENO_CheckEASCHMISO15693",
     [](Args& a) {
         a.check(FENO_CheckEASCHMISO15693(kHandle, a.i32(), MODE_UID, a.i32(), a.i32(), a.u16(),
                                          a.out<std::int32_t>(), a.status()));
     }},
    GETTER(FENO_GetReaderAddress, std::uint8_t),
    {"FENO_GetZPXVersion",
     [](Args& a) { a.check(FENO_GetZPXVersion(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.status())); }},
    {"FENO_GetRPUVersion",
     [](Args& a) {
         a.check(FENO_GetRPUVersion(kHandle, a.textOut(FENO_TEXT_SIZE), a.out<std::uint8_t>(),
                                    a.out<std::uint8_t>(), a.status()));
     }},
    {"FENO_GetRTC",
     [](Args& a) {
         a.check(FENO_GetRTC(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                             a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.status()));
     }},
    {"FENO_GetIODir",
     [](Args& a) { a.check(FENO_GetIODir(kHandle, a.i32(), a.out<std::uint8_t>(), a.status())); }},
    {"FENO_GetIO", [](Args& a) { a.check(FENO_GetIO(kHandle, a.i32(), a.out<std::uint8_t>(), a.status())); }},
    GETTER(FENO_GetRPUFeatures, FENO_Features),
    {"FENO_GetTag",
     [](Args& a) {
         a.check(FENO_GetTag(kHandle, a.i32(), a.out<std::uint8_t>(), a.out<std::uint8_t>(FENO_TEXT_SIZE),
                             a.status()));
     }},
    {"FENO_GetTagEx",
     [](Args& a) {
         a.check(FENO_GetTagEx(kHandle, a.i32(), a.out<std::int32_t>(), a.out<std::uint8_t>(kEntries),
                               a.status()));
     }},
    {"FENO_ReadBlockCHD",
     [](Args& a) {
         a.check(FENO_ReadBlockCHD(kHandle, a.i32(), a.u16(), a.out<std::uint8_t>(),
                                   a.out<std::uint8_t>(FENO_TEXT_SIZE), a.status()));
     }},
    {"FENO_HaltCHG",
     [](Args& a) {
         a.check(FENO_HaltCHG(kHandle, a.i32(), a.u16(), a.out<std::int32_t>(), a.out<std::uint8_t>(kEntries),
                              a.status()));
     }},
    {"FENO_SelectedWriteCHG",
     [](Args& a) {
         a.check(FENO_SelectedWriteCHG(kHandle, a.i32(), a.i32(), a.in(4), a.u16(), a.out<std::int32_t>(),
                                       a.out<std::uint8_t>(kEntries), a.status()));
     }},
    {"FENO_SelectedReadCHG",
     [](Args& a) {
         a.check(FENO_SelectedReadCHG(kHandle, a.i32(), a.i32(), a.u16(), a.out<std::int32_t>(),
                                      a.out<std::uint8_t>(kEntries), a.status()));
     }},
    GETTER(FENO_GetWedgeSendHeader, std::int32_t),
    {"FENO_GetWedgeHeader",
     [](Args& a) { a.check(FENO_GetWedgeHeader(kHandle, a.textOut(FENO_TEXT_SIZE), a.status())); }},
    GETTER(FENO_GetWedgeSendAntenna, std::int32_t),
    {"FENO_GetWedgePostAntenna",
     [](Args& a) { a.check(FENO_GetWedgePostAntenna(kHandle, a.textOut(FENO_TEXT_SIZE), a.status())); }},
    GETTER(FENO_GetWedgeSendTagID, std::int32_t),
    GETTER(FENO_GetWedgeTagIDLen, std::uint8_t),
    GETTER(FENO_GetWedgeSendCS, std::int32_t),
    GETTER(FENO_GetWedgeSendTrailer, std::int32_t),
    {"FENO_GetWedgeTrailer",
     [](Args& a) { a.check(FENO_GetWedgeTrailer(kHandle, a.textOut(FENO_TEXT_SIZE), a.status())); }},
    GETTER(FENO_GetWedgeSortDepth, std::uint8_t),
    GETTER(FENO_GetWedgeSortTimeout, std::uint8_t),
    GETTER(FENO_GetWedgeSortIgnoreAntenna, std::int32_t),
    GETTER(FENO_GetWedgeTriggerMode, std::uint8_t),
    GETTER(FENO_GetWedgeTriggerSendAfter, std::int32_t),
    GETTER(FENO_GetWedgeTriggerSendNoTag, std::int32_t),
    GETTER(FENO_GetWedgeTriggerNoTagChar, std::uint8_t),
    GETTER(FENO_GetWedgeTriggerTagOutputDelay, std::uint8_t),
    GETTER(FENO_GetWedgeTriggerNoTagOutputDelay, std::uint8_t),
    GETTER(FENO_GetWedgeTriggerClearSort, std::int32_t),
    GETTER(FENO_GetWedgeBaudrate, std::uint8_t),
    GETTER(FENO_GetWedgeWatchdogDelay, std::uint8_t),
    {"FENO_GetWedgeWatchdog",
     [](Args& a) { a.check(FENO_GetWedgeWatchdog(kHandle, a.textOut(FENO_TEXT_SIZE), a.status())); }},
    GETTER(FENO_GetWedgeActivation, std::uint8_t),
    GETTER(FENO_GetWedgePower, std::uint16_t),
    {"FENO_GetWedgeMux",
     [](Args& a) {
         a.check(FENO_GetWedgeMux(kHandle, a.out<std::uint16_t>(), a.out<std::uint16_t>(), a.out<std::uint16_t>(),
                                  a.out<std::uint16_t>(FENO_MAX_MUX_ITEMS), a.status()));
     }},
    GETTER(FENO_GetWedgeChannel, std::uint8_t),
    GETTER(FENO_GetWedgeChip, std::uint8_t),
    {"FENO_GetWedgeChipSettings",
     [](Args& a) {
         a.check(FENO_GetWedgeChipSettings(kHandle, a.i32(), a.i32(), a.out<std::uint8_t>(), a.status()));
     }},
    GETTER(FENO_GetWedgeBandFilter, std::int32_t),
};

} // namespace

std::span<const Call> fenoCalls()
{
    return kCalls;
}

} // namespace quorvel::fuzz
