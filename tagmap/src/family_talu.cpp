// Family 1: TALU readers. Inventories run the anticollision in the reader
// (automatic inventory); every tag command goes through the reader's ISO
// carrier. UIDs and block bytes come back as on the air, least significant
// first; the command functions take UIDs and data most significant first.
#include <vector>

#include "family.h"
#include "first_make.h"
#include "library_state.h"
#include "quorvel.h"
#include "quorvel_talu.h"

namespace brenholt {
namespace {

// A single-tag answer: the tag's response (flags byte first).
struct Answer {
    std::uint8_t data[TALU_ANSWER_SIZE] = {};
    std::uint8_t status = 0;
    // A write step: the reader's verdict, and the tag's own in its response
    // flags (a refusal may come with status 0).
    Outcome writeOutcome(std::int32_t result) const
    {
        const Outcome outcome = commandOutcome(result, status);
        if (outcome.ok && (data[0] & ISO15693_RESPONSE_ERROR))
            return Outcome::failure(result, status, BRN_ERR_NO_TAG);
        return outcome;
    }
};

class TaluFamily final : public ReaderFamily {
public:
    std::int32_t number() const override { return BRN_FAMILY_TALU; }
    bool accepts(brnHandle handle) const override { return isLinkHandle(handle); }

    Outcome capabilities(brnHandle handle, std::optional<std::int32_t>& bits) override
    {
        TALU_Features features{};
        std::uint8_t status = 0;
        const std::int32_t result = TALU_GetFeatures(linkOf(handle), &features, &status);
        const Outcome outcome = commandOutcome(result, status);
        if (!outcome.ok)
            return outcome;
        // Feature flag 7: the EAS (CHM) commands; flag 4: ISO 15693.
        std::int32_t value = 0;
        if (features.flags[7])
            value = BRN_CAP_CHM;
        if (features.flags[4])
            value |= BRN_CAP_ISO15693;
        bits = value;
        return outcome;
    }

    Outcome setRf(brnHandle handle, bool on) override
    {
        std::uint8_t status = 0;
        const std::int32_t result = TALU_SetRf(linkOf(handle), on ? 1 : 0, &status);
        return commandOutcome(result, status);
    }

    Outcome inventory(brnHandle handle, InventoryUse, AfiFilter filter, std::vector<Uid>& tags) override
    {
        std::vector<std::uint8_t> records(TALU_MAX_RECORDS * TALU_RECORD_SIZE);
        std::uint8_t count = 0, status = 0;
        const std::int32_t result =
            TALU_AutoInventoryISO15693(linkOf(handle), 0, filter.on ? 1 : 0, filter.afi, state().inventoryParameter,
                                       &count, records.data(), &status);
        if (result == 0) {
            // A record: the tag's inventory response, flags, DSFID, UID.
            for (int i = 0; i < count; ++i)
                tags.push_back(reversedUid(records.data() + i * TALU_RECORD_SIZE + 2));
        }
        return commandOutcome(result, status);
    }

    Outcome readBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t& value) override
    {
        Answer a;
        const std::int32_t result =
            TALU_ReadBlockISO15693(linkOf(handle), block, modeFor(uid), uidBytes(uid), a.data, &a.status);
        const Outcome outcome = commandOutcome(result, a.status, BRN_ERR_READ);
        if (outcome.ok) // after the tag's response flags
            value = valueLsbFirst(a.data + 1);
        return outcome;
    }

    Outcome readLocks(brnHandle handle, const Uid* uid, std::uint32_t& rawLockMask) override
    {
        Answer a;
        const std::int32_t result =
            TALU_BlockStatusISO15693(linkOf(handle), 0, 8, modeFor(uid), uidBytes(uid), a.data, &a.status);
        const Outcome outcome = commandOutcome(result, a.status);
        if (outcome.ok)
            rawLockMask = lockBitsFrom(a.data + 1, 1);
        return outcome;
    }

    Outcome queryEas(brnHandle handle, const Uid* uid, std::optional<std::int32_t>& easState) override
    {
        std::int32_t flag = 0;
        std::uint8_t status = 0;
        const std::int32_t result = TALU_CheckEasCHM(linkOf(handle), modeFor(uid), uidBytes(uid), &flag, &status);
        const Outcome outcome = commandOutcome(result, status);
        if (outcome.ok)
            easState = flag;
        return outcome;
    }

    Outcome systemInfo(brnHandle handle, const Uid* uid, SystemInfo& info) override
    {
        Answer a;
        const std::int32_t result =
            TALU_SystemInfoISO15693(linkOf(handle), modeFor(uid), uidBytes(uid), a.data, &a.status);
        // The tag's response, flags byte first; no length comes back, the
        // information flags tell what follows.
        Outcome outcome = commandOutcome(result, a.status);
        if (outcome.ok && ((a.data[0] & ISO15693_RESPONSE_ERROR) || !parseSystemInfo(a.data + 1, sizeof a.data - 1, info)))
            outcome = Outcome::failure(result, a.status);
        return outcome;
    }

    void prepareWrite(brnHandle handle) override { QVL_SetTimeout(linkOf(handle), kWriteTimeoutMs); }

    Outcome writeAfi(brnHandle handle, const Uid* uid, std::uint8_t afi) override
    {
        Answer a;
        const std::int32_t result =
            TALU_WriteAfiISO15693(linkOf(handle), afi, 0, modeFor(uid), uidBytes(uid), a.data, &a.status);
        return a.writeOutcome(result);
    }

    Outcome writeEas(brnHandle handle, const Uid* uid, EasAction action) override
    {
        Answer a;
        const std::int32_t result = TALU_WriteEasCHM(linkOf(handle), static_cast<std::int32_t>(action), modeFor(uid),
                                                     uidBytes(uid), a.data, &a.status);
        const Outcome outcome = easWriteOutcome(result, a.status);
        // QVL_STATUS_NO_TAG is a chip without EAS, or no tag, or a tag that
        // refused: the reader keeps the tag's answer to itself. A tag asked to
        // reset that still sounds the alarm has refused (its EAS bit is locked on).
        if (outcome.ok && a.status == QVL_STATUS_NO_TAG && action == EasAction::Reset) {
            std::optional<std::int32_t> eas;
            if (queryEas(handle, uid, eas).ok && eas == 1)
                return Outcome::failure(result, a.status, BRN_ERR_NO_TAG);
        }
        return outcome;
    }

    Outcome writeBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t value) override
    {
        const auto bytes = bytesMsbFirst(value);
        Answer a;
        const std::int32_t result = TALU_WriteBlockISO15693(linkOf(handle), block, 4, bytes.data(), 0, modeFor(uid),
                                                            uidBytes(uid), a.data, &a.status);
        return a.writeOutcome(result);
    }

    Outcome lockBlock(brnHandle handle, const Uid* uid, int block) override
    {
        Answer a;
        const std::int32_t result =
            TALU_LockBlockISO15693(linkOf(handle), block, 0, modeFor(uid), uidBytes(uid), a.data, &a.status);
        return a.writeOutcome(result);
    }

    // These readers lock the EAS bit when asked and never block 0.
    Outcome applyLocks(brnHandle handle, const Uid* uid, std::uint32_t rawLockMask) override
    {
        if (rawLockMask & BRN_RAW_LOCK_EAS)
            if (const Outcome locked = writeEas(handle, uid, EasAction::Lock); !locked.ok)
                return locked;
        return ReaderFamily::applyLocks(handle, uid, rawLockMask & ~(BRN_RAW_LOCK_EAS | BRN_RAW_LOCK_BLOCK(0)));
    }

    bool reportsManyTags() const override { return true; }
};

} // namespace

ReaderFamily& taluFamily()
{
    static TaluFamily family;
    return family;
}

} // namespace brenholt
