// The commands of the GIRM table that read answers: the gate's settings,
// flags, database information and entries, and the shared reader commands.
#include "fuzz_answers.h"
#include "quorvel_girm.h"

namespace quorvel::fuzz {

namespace {

#define GETTER(name, T) {#name, [](Args& a) { a.check(name(kHandle, a.out<T>(), a.status())); }}

const Call kCalls[] = {
    GETTER(GIRM_GetReaderAddress, std::uint8_t),
    {"GIRM_GetZPXVersion",
     [](Args& a) { a.check(GIRM_GetZPXVersion(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.status())); }},
    {"GIRM_GetRPUVersion",
     [](Args& a) {
         a.check(GIRM_GetRPUVersion(kHandle, a.textOut(FENO_TEXT_SIZE), a.out<std::uint8_t>(),
                                    a.out<std::uint8_t>(), a.status()));
     }},
    {"GIRM_GetRTC",
     [](Args& a) {
         a.check(GIRM_GetRTC(kHandle, a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.out<std::uint8_t>(),
                             a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.out<std::uint8_t>(), a.status()));
     }},
    GETTER(GIRM_IsScanningEAS, std::int32_t),
    GETTER(GIRM_IsEASAlarmed, std::int32_t),
    GETTER(GIRM_GetChips, std::uint16_t),
    GETTER(GIRM_GetSynchroSlot, std::uint16_t),
    GETTER(GIRM_GetAlarmDuration, std::uint16_t),
    GETTER(GIRM_GetPower, std::uint16_t),
    GETTER(GIRM_GetSynchroIdentifier, std::uint16_t),
    GETTER(GIRM_GetSynchroAntenna, std::uint16_t),
    GETTER(GIRM_GetSynchroThreshold, std::uint16_t),
    GETTER(GIRM_GetMuxSequence, std::uint16_t),
    GETTER(GIRM_GetSortingNbRounds, std::uint16_t),
    GETTER(GIRM_GetReadID, std::uint16_t),
    GETTER(GIRM_GetMaxPedestals, std::uint16_t),
    GETTER(GIRM_GetPIRPresence, std::int32_t),
    GETTER(GIRM_GetPIRState, std::int32_t),
    GETTER(GIRM_GetPIRUse, std::int32_t),
    {"GIRM_GetDatabaseInfo",
     [](Args& a) {
         a.check(GIRM_GetDatabaseInfo(kHandle, a.out<std::uint16_t>(), a.out<std::int32_t>(), a.status()));
     }},
    {"GIRM_GetDatabaseEntry",
     [](Args& a) {
         a.check(GIRM_GetDatabaseEntry(kHandle, a.u16(), a.out<std::uint8_t>(GIRM_DATABASE_ENTRY_SIZE), a.status()));
     }},
};

} // namespace

std::span<const Call> girmCalls()
{
    return kCalls;
}

} // namespace quorvel::fuzz
