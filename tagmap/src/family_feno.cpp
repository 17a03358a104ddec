// Family 5: FENO readers, with their own high-level ISO 15693 commands. They
// take and give UIDs most significant byte first and present block values
// most significant byte first, converting to and from the tag's order
// themselves. Single reads go to whichever tag answers.
#include <algorithm>
#include <vector>

#include "family.h"
#include "first_make.h"
#include "quorvel.h"
#include "quorvel_feno.h"

namespace brenholt {
namespace {

constexpr std::uint16_t kTime = 1000;
constexpr int kAnswerSize = 256;
// The reader's answer to the EAS alarm request of a tag whose EAS bit is on.
constexpr std::uint8_t kEasAlarmAnswerLength = 38;
// The outcome nibble of a tag record: the tag answered with an error.
constexpr std::uint8_t kRecordTagError = 3;
// Bytes of a tag record before its payload.
constexpr std::uint8_t kRecordHead = 6;

class FenoFamily final : public ReaderFamily {
public:
    std::int32_t number() const override { return BRN_FAMILY_FENO; }
    bool accepts(brnHandle handle) const override { return isLinkHandle(handle); }

    void setUp(brnHandle handle) override
    {
        std::uint8_t status = 0;
        FENO_RestoreDefaults(linkOf(handle), &status);
        FENO_SetPower(linkOf(handle), 7, &status);
    }

    Outcome capabilities(brnHandle, std::optional<std::int32_t>& bits) override
    {
        bits = BRN_CAP_ISO15693;
        return Outcome::success();
    }

    Outcome setRf(brnHandle handle, bool on) override
    {
        std::uint8_t status = 0;
        const std::int32_t result = FENO_SetRf(linkOf(handle), on ? 1 : 0, &status);
        return commandOutcome(result, status);
    }

    Outcome inventory(brnHandle handle, InventoryUse use, AfiFilter filter, std::vector<Uid>& tags) override
    {
        // Counts always ask with the AFI flag; AFI 0 answers every tag.
        const bool count = use == InventoryUse::Count || use == InventoryUse::CountByType;
        const bool afiFlag = filter.on || count;
        std::vector<std::uint8_t> entries(FENO_ENTRY_SIZE * FENO_MAX_ENTRIES);
        std::int32_t entryCount = 0;
        std::uint8_t status = 0;
        const std::int32_t result = FENO_InventoryISO15693Ex(linkOf(handle), 1, 0, 1, afiFlag ? 1 : 0,
                                                             filter.on ? filter.afi : 0, 0, nullptr, kTime,
                                                             &entryCount, entries.data(), &status);
        if (result == 0) {
            for (std::int32_t i = 0; i < entryCount && i < FENO_MAX_ENTRIES; ++i) {
                const std::uint8_t* entry = entries.data() + i * FENO_ENTRY_SIZE;
                Uid uid{};
                std::copy_n(entry + 6, uid.size(), uid.begin());
                tags.push_back(uid);
            }
        }
        return commandOutcome(result, status);
    }

    bool addressesSingleReads() const override { return false; }
    // A failed EAS query or lock status leaves that part out of a cycle's record.
    bool lockStatusOptional() const override { return true; }
    bool searchesField() const override { return false; }

    Outcome readBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t& value) override
    {
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_ReadBlockISO15693(linkOf(handle), block, 0, modeFor(uid), uidBytes(uid),
                                                           kTime, &length, data, &status);
        Outcome outcome = commandOutcome(result, status, BRN_ERR_READ);
        // The value is at answer bytes 6 to 9.
        if (outcome.ok && length < 10)
            outcome = Outcome::failure(0, status, BRN_ERR_READ);
        if (outcome.ok)
            value = valueMsbFirst(data + 6);
        return outcome;
    }

    Outcome readLocks(brnHandle handle, const Uid* uid, std::uint32_t& rawLockMask) override
    {
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_BlockStatusISO15693(linkOf(handle), 0, 8, 0, modeFor(uid), uidBytes(uid),
                                                             kTime, &length, data, &status);
        Outcome outcome = commandOutcome(result, status);
        // Answer bytes 6 to 13 hold blocks 7 down to 0.
        if (outcome.ok && length < 14)
            outcome = Outcome::failure(0, status);
        if (outcome.ok)
            rawLockMask = lockBitsFrom(data + 13, -1);
        return outcome;
    }

    Outcome queryEas(brnHandle handle, const Uid* uid, std::optional<std::int32_t>& easState) override
    {
        // The reader passes the alarm request to the tags as it is. For one
        // tag (continuous reading) it carries the address flag and the UID,
        // least significant byte first as on the air, so that another tag
        // with its EAS bit on does not answer for it; a single read asks
        // whichever tag answers.
        std::uint8_t request[3 + 8] = {ISO15693_FLAG_HIGH_RATE, ISO15693_CHM_EAS_ALARM, ISO15693_CHM_MANUFACTURER};
        std::uint8_t requestLength = 3;
        if (uid) {
            request[0] |= ISO15693_FLAG_ADDRESS;
            std::reverse_copy(uid->begin(), uid->end(), request + 3);
            requestLength += 8;
        }
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_GenericCommandISO15693(linkOf(handle), 0, 0, 0, requestLength, request, 33,
                                                                kTime, &length, data, &status);
        // A query that fails leaves the EAS part out and the read goes on.
        if (commandOutcome(result, status).ok)
            easState = length == kEasAlarmAnswerLength ? 1 : 0;
        return Outcome::success();
    }

    Outcome systemInfo(brnHandle handle, const Uid* uid, SystemInfo& info) override
    {
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result =
            FENO_SystemInfoISO15693(linkOf(handle), 0, modeFor(uid), uidBytes(uid), kTime, &length, data, &status);
        // The record: outcome nibble, payload length, command, the tag's
        // response flags; the payload (the tag's answer after its flags,
        // the UID turned most significant first) from byte 6 on.
        Outcome outcome = commandOutcome(result, status);
        const bool answered = length >= kRecordHead && (data[0] & 0x0F) == 0 && !(data[3] & ISO15693_RESPONSE_ERROR);
        if (outcome.ok && !(answered && parseSystemInfo(data + kRecordHead, length - kRecordHead, info)))
            outcome = Outcome::failure(result, status);
        return outcome;
    }

    void prepareWrite(brnHandle handle) override { QVL_SetTimeout(linkOf(handle), kWriteTimeoutMs); }

    Outcome writeAfi(brnHandle handle, const Uid* uid, std::uint8_t afi) override
    {
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_WriteAfiISO15693(linkOf(handle), afi, 0, 1, 1, modeFor(uid), uidBytes(uid),
                                                          kTime, &length, data, &status);
        // A tag that refuses (its AFI locked) may show only in the record.
        return tagOutcome(result, status, length, data, BRN_ERR_NO_TAG);
    }

    Outcome writeEas(brnHandle handle, const Uid* uid, EasAction action) override
    {
        // The reader only sets or clears the bit.
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_ProgramEASCHMISO15693(linkOf(handle), 0, modeFor(uid), uidBytes(uid),
                                                               action == EasAction::Set ? 1 : 0, kTime, &length, data,
                                                               &status);
        // The record of a tag that answered with an error carries the tag's
        // response flags (byte 3) and its error code (byte 6): a chip without
        // EAS does not know the command (the write goes on without the bit),
        // any other error is the tag refusing it.
        if (result == 0 && length > 6 && (data[0] & 0x0F) == kRecordTagError && easWriteRefused(data[3], data[6]))
            return Outcome::failure(result, status, BRN_ERR_NO_TAG);
        return easWriteOutcome(result, status);
    }

    Outcome writeBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t value) override
    {
        const auto bytes = bytesMsbFirst(value);
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_WriteBlockISO15693(linkOf(handle), block, 4, bytes.data(), 0, 1, 0,
                                                            modeFor(uid), uidBytes(uid), kTime, &length, data, &status);
        return tagOutcome(result, status, length, data, BRN_ERR_NO_TAG);
    }

    Outcome lockBlock(brnHandle handle, const Uid* uid, int block) override
    {
        std::uint8_t length = 0, data[kAnswerSize] = {}, status = 0;
        const std::int32_t result = FENO_LockBlockISO15693(linkOf(handle), block, 0, 1, 1, modeFor(uid), uidBytes(uid),
                                                           kTime, &length, data, &status);
        return tagOutcome(result, status, length, data, BRN_ERR_NO_TAG);
    }
};

} // namespace

ReaderFamily& fenoFamily()
{
    static FenoFamily family;
    return family;
}

} // namespace brenholt
