// The commands of the TALU table that read answers: inventory and carrier
// records, block lists, single tag responses, features, chip answers, texts.
#include "fuzz_answers.h"
#include "quorvel_talu.h"
#include "quorvel_talu_reader.h"

namespace quorvel::fuzz {

namespace {

constexpr std::size_t kRecords = TALU_MAX_RECORDS * TALU_RECORD_SIZE;

// A multi-tag command's outputs, a single-tag command's outputs.
#define RECORDS a.out<std::uint8_t>(), a.out<std::uint8_t>(kRecords), a.status()
#define RESPONSE a.out<std::uint8_t>(TALU_ANSWER_SIZE), a.status()

#define TEXT_GETTER(name) {#name, [](Args& a) { a.check(name(kHandle, a.textOut(TALU_TEXT_SIZE), a.status())); }}

const Call kCalls[] = {
    {"TALU_GetUplinkISO15693",
     [](Args& a) { a.check(TALU_GetUplinkISO15693(kHandle, a.out<std::int32_t>(), a.out<std::int32_t>())); }},
    {"TALU_GetDownlinkISO15693",
     [](Args& a) { a.check(TALU_GetDownlinkISO15693(kHandle, a.out<std::int32_t>())); }},
    {"TALU_GenericCommandISO15693",
     [](Args& a) {
         const std::uint8_t length = a.u8();
         a.check(TALU_GenericCommandISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), length,
                                             a.in(length), RECORDS));
     }},
    {"TALU_AutoInventoryISO15693",
     [](Args& a) { a.check(TALU_AutoInventoryISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), RECORDS)); }},
    {"TALU_AutoInventoryCHM",
     [](Args& a) {
         a.check(TALU_AutoInventoryCHM(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(),
                                       RECORDS));
     }},
    {"TALU_GetFeatures", [](Args& a) { a.check(TALU_GetFeatures(kHandle, a.out<TALU_Features>(), a.status())); }},
    {"TALU_InventoryISO15693",
     [](Args& a) {
         a.check(TALU_InventoryISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.in(32), RECORDS));
     }},
    {"TALU_InventoryCHM",
     [](Args& a) {
         a.check(TALU_InventoryCHM(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(),
                                   a.in(32), RECORDS));
     }},
    {"TALU_ReadBlockISO15693",
     [](Args& a) { a.check(TALU_ReadBlockISO15693(kHandle, a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_WriteBlockISO15693",
     [](Args& a) {
         const std::int32_t count = a.i32();
         a.check(TALU_WriteBlockISO15693(kHandle, a.i32(), count, a.in(static_cast<std::uint8_t>(count)), a.i32(),
                                         a.i32(), a.in(8), RESPONSE));
     }},
    {"TALU_LockBlockISO15693",
     [](Args& a) { a.check(TALU_LockBlockISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_SelectISO15693", [](Args& a) { a.check(TALU_SelectISO15693(kHandle, a.in(8), RESPONSE)); }},
    {"TALU_RTReadyISO15693", [](Args& a) { a.check(TALU_RTReadyISO15693(kHandle, a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_WriteAfiISO15693",
     [](Args& a) { a.check(TALU_WriteAfiISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_LockAfiISO15693",
     [](Args& a) { a.check(TALU_LockAfiISO15693(kHandle, a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_WriteDsfidISO15693",
     [](Args& a) { a.check(TALU_WriteDsfidISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_LockDsfidISO15693",
     [](Args& a) { a.check(TALU_LockDsfidISO15693(kHandle, a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_SystemInfoISO15693",
     [](Args& a) { a.check(TALU_SystemInfoISO15693(kHandle, a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_BlockStatusISO15693",
     [](Args& a) { a.check(TALU_BlockStatusISO15693(kHandle, a.i32(), a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_WriteEasCHM",
     [](Args& a) { a.check(TALU_WriteEasCHM(kHandle, a.i32(), a.i32(), a.in(8), RESPONSE)); }},
    {"TALU_CheckEasCHM",
     [](Args& a) {
         a.check(TALU_CheckEasCHM(kHandle, a.i32(), a.in(8), a.out<std::int32_t>(), a.status()));
     }},
    {"TALU_GetIO",
     [](Args& a) { a.check(TALU_GetIO(kHandle, a.out<std::int32_t>(), a.out<std::int32_t>(), a.status())); }},
    {"TALU_GetAddress", [](Args& a) { a.check(TALU_GetAddress(kHandle, a.out<std::uint8_t>(), a.status())); }},
    {"TALU_DetectChipType",
     [](Args& a) {
         a.check(TALU_DetectChipType(kHandle, a.i32(), a.out<std::uint8_t>(), a.out<std::uint8_t>(), RESPONSE));
     }},
    {"TALU_ReadCHA", [](Args& a) { a.check(TALU_ReadCHA(kHandle, RESPONSE)); }},
    {"TALU_ReadCHD",
     [](Args& a) { a.check(TALU_ReadCHD(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), RESPONSE)); }},
    {"TALU_ReadAllCHB",
     [](Args& a) {
         a.check(TALU_ReadAllCHB(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(5), a.out<std::uint8_t>(5),
                                 a.status()));
     }},
    {"TALU_ReadNSNTCHJ",
     [](Args& a) {
         a.check(TALU_ReadNSNTCHJ(kHandle, a.i32(), a.out<std::int32_t>(), a.out<std::uint16_t>(16), a.status()));
     }},
    {"TALU_ReadSTARCHJ",
     [](Args& a) {
         a.check(TALU_ReadSTARCHJ(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.u16(), a.i32(),
                                  a.out<std::int32_t>(), a.out<std::int32_t>(TALU_MAX_STAR_RECORDS),
                                  a.out<std::uint16_t>(TALU_MAX_STAR_RECORDS * TALU_STAR_VALUES),
                                  a.out<std::uint8_t>(TALU_MAX_STAR_RECORDS), a.status()));
     }},
    {"TALU_AnticollisionSelectCHG",
     [](Args& a) {
         a.check(TALU_AnticollisionSelectCHG(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(),
                                             a.inOut(TALU_ANSWER_SIZE), a.status()));
     }},
    {"TALU_SelectedReadCHG",
     [](Args& a) { a.check(TALU_SelectedReadCHG(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), RESPONSE)); }},
    {"TALU_SelectedWriteCHG",
     [](Args& a) {
         a.check(TALU_SelectedWriteCHG(kHandle, a.i32(), a.inOut(TALU_ANSWER_SIZE), a.i32(), a.in(4), a.status()));
     }},
    {"TALU_HaltCHG",
     [](Args& a) { a.check(TALU_HaltCHG(kHandle, a.i32(), a.inOut(TALU_ANSWER_SIZE), a.status())); }},
    {"TALU_UnselectedReadCHG",
     [](Args& a) {
         a.check(TALU_UnselectedReadCHG(kHandle, a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(), a.i32(),
                                        a.i32(), a.i32(), RECORDS));
     }},
    {"TALU_GetStandaloneGeneral",
     [](Args& a) {
         a.check(TALU_GetStandaloneGeneral(kHandle, a.out<std::uint8_t>(TALU_STANDALONE_GENERAL_SIZE), a.status()));
     }},
    TEXT_GETTER(TALU_GetStandalonePrefix),
    TEXT_GETTER(TALU_GetStandaloneSuffix),
    TEXT_GETTER(TALU_GetStandaloneNoReadMessage),
    {"TALU_GetStandaloneChipDescription",
     [](Args& a) {
         a.check(TALU_GetStandaloneChipDescription(kHandle, a.i32(), a.textOut(TALU_TEXT_SIZE), a.status()));
     }},
};

} // namespace

std::span<const Call> taluCalls()
{
    return kCalls;
}

} // namespace quorvel::fuzz
