// Family 2: ORBA readers, which carry ISO 15693 requests to the tags. UIDs
// and block bytes come back as on the air, least significant first; the
// command functions take UIDs and data most significant first.
#include <algorithm>
#include <vector>

#include "family.h"
#include "first_make.h"
#include "quorvel.h"
#include "quorvel_orba.h"

namespace brenholt {
namespace {

// What the carrier and the inventory hand back: records in 64-byte slots.
struct Records {
    std::uint8_t count = 0;
    std::uint8_t lengths[ORBA_MAX_RECORDS] = {};
    std::vector<std::uint8_t> slots = std::vector<std::uint8_t>(ORBA_MAX_RECORDS * ORBA_RECORD_SLOT_SIZE);
    const std::uint8_t* record(int i) const { return slots.data() + i * ORBA_RECORD_SLOT_SIZE; }
};

// A single answer: record status, response flags, the tag's data.
struct Answer {
    std::uint8_t length = 0;
    std::uint8_t data[ORBA_MAX_ANSWER] = {};
    std::uint8_t status = 0;
    // The step's outcome once the command has returned result.
    Outcome outcome(std::int32_t result, std::int32_t fallback) const
    {
        return tagOutcome(result, status, length, data, fallback);
    }
};

class OrbaFamily final : public ReaderFamily {
public:
    std::int32_t number() const override { return BRN_FAMILY_ORBA; }
    bool accepts(brnHandle handle) const override { return isLinkHandle(handle); }

    Outcome capabilities(brnHandle, std::optional<std::int32_t>& bits) override
    {
        bits = BRN_CAP_ISO15693;
        return Outcome::success();
    }

    Outcome setRf(brnHandle handle, bool on) override
    {
        std::uint8_t status = 0;
        const std::int32_t result = on ? ORBA_RfOn(linkOf(handle), &status) : ORBA_RfOff(linkOf(handle), &status);
        return commandOutcome(result, status);
    }

    Outcome inventory(brnHandle handle, InventoryUse, AfiFilter filter, std::vector<Uid>& tags) override
    {
        Records r;
        std::uint8_t status = 0;
        const std::int32_t result = ORBA_InventoryISO15693(linkOf(handle), 0, filter.on ? 1 : 0, filter.afi, 0, nullptr,
                                                           &r.count, r.lengths, r.slots.data(), &status);
        if (result == 0) {
            // A record of one byte is the reader's word that no tag answered in a slot.
            for (int i = 0; i < r.count && i < ORBA_MAX_RECORDS; ++i)
                if (r.lengths[i] > 1)
                    tags.push_back(reversedUid(r.record(i) + 3));
        }
        return commandOutcome(result, status);
    }

    Outcome readBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t& value) override
    {
        Answer a;
        const std::int32_t result =
            ORBA_ReadBlockISO15693(linkOf(handle), block, modeFor(uid), uidBytes(uid), &a.length, a.data, &a.status);
        Outcome outcome = a.outcome(result, BRN_ERR_READ);
        if (outcome.ok && a.length < 6)
            outcome = Outcome::failure(0, a.status, BRN_ERR_READ);
        if (outcome.ok)
            value = valueLsbFirst(a.data + 2);
        return outcome;
    }

    Outcome readLocks(brnHandle handle, const Uid* uid, std::uint32_t& rawLockMask) override
    {
        Answer a;
        const std::int32_t result = ORBA_BlockStatusISO15693(linkOf(handle), 0, 8, modeFor(uid), uidBytes(uid),
                                                             &a.length, a.data, &a.status);
        Outcome outcome = a.outcome(result, BRN_ERR_READER);
        if (outcome.ok && a.length < 10)
            outcome = Outcome::failure(0, a.status);
        if (outcome.ok)
            rawLockMask = lockBitsFrom(a.data + 2, 1);
        return outcome;
    }

    Outcome queryEas(brnHandle handle, const Uid* uid, std::optional<std::int32_t>& easState) override
    {
        if (uid) {
            const Outcome selected = select(handle, *uid);
            if (!selected.ok)
                return selected;
        }
        const std::uint8_t request[] = {easFlags(ISO15693_FLAG_HIGH_RATE, uid), ISO15693_CHM_EAS_ALARM,
                                        ISO15693_CHM_MANUFACTURER};
        Records r;
        std::uint8_t status = 0;
        const std::int32_t result = ORBA_GenericCommandISO15693(linkOf(handle), 0, 1, 0, 0, 0, sizeof request, request,
                                                                &r.count, r.lengths, r.slots.data(), &status);
        const Outcome outcome = commandOutcome(result, status);
        if (outcome.ok)
            easState = r.record(0)[0] == 2 ? 1 : 0;
        return outcome;
    }

    Outcome systemInfo(brnHandle handle, const Uid* uid, SystemInfo& info) override
    {
        Answer a;
        const std::int32_t result =
            ORBA_SystemInfoISO15693(linkOf(handle), modeFor(uid), uidBytes(uid), &a.length, a.data, &a.status);
        // After the record status and the response flags: the tag's answer.
        Outcome outcome = a.outcome(result, BRN_ERR_READER);
        if (outcome.ok && !(a.length > 2 && parseSystemInfo(a.data + 2, a.length - 2u, info)))
            outcome = Outcome::failure(0, a.status);
        return outcome;
    }

    void prepareWrite(brnHandle handle) override { QVL_SetTimeout(linkOf(handle), kWriteTimeoutMs); }

    Outcome writeAfi(brnHandle handle, const Uid* uid, std::uint8_t afi) override
    {
        Answer a;
        const std::int32_t result =
            ORBA_WriteAfiISO15693(linkOf(handle), afi, 0, modeFor(uid), uidBytes(uid), &a.length, a.data, &a.status);
        // A tag whose AFI is locked refuses in the record only.
        return a.outcome(result, BRN_ERR_NO_TAG);
    }

    Outcome writeEas(brnHandle handle, const Uid* uid, EasAction action) override
    {
        if (uid) {
            const Outcome selected = select(handle, *uid);
            if (!selected.ok)
                return selected;
        }
        const std::uint8_t request[] = {easFlags(ISO15693_FLAG_HIGH_RATE, uid), easCommand(action),
                                        ISO15693_CHM_MANUFACTURER};
        Records r;
        std::uint8_t status = 0;
        const std::int32_t result = ORBA_GenericCommandISO15693(linkOf(handle), 1, 1, 0, 0, 0, sizeof request, request,
                                                                &r.count, r.lengths, r.slots.data(), &status);
        const Outcome outcome = easWriteOutcome(result, status);
        // The record: its status, the tag's response flags and error code. A
        // chip without EAS does not know the command (the write goes on
        // without the bit); any other error is the tag refusing it.
        const std::uint8_t* record = r.record(0);
        if (outcome.ok && r.count > 0 && r.lengths[0] > 2 && easWriteRefused(record[1], record[2]))
            return Outcome::failure(result, status, BRN_ERR_NO_TAG);
        return outcome;
    }

    Outcome writeBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t value) override
    {
        const auto bytes = bytesMsbFirst(value);
        Answer a;
        const std::int32_t result = ORBA_WriteBlockISO15693(linkOf(handle), block, 4, bytes.data(), 0, modeFor(uid),
                                                            uidBytes(uid), &a.length, a.data, &a.status);
        return a.outcome(result, BRN_ERR_NO_TAG);
    }

    Outcome lockBlock(brnHandle handle, const Uid* uid, int block) override
    {
        Answer a;
        const std::int32_t result = ORBA_LockBlockISO15693(linkOf(handle), block, 0, modeFor(uid), uidBytes(uid),
                                                           &a.length, a.data, &a.status);
        return a.outcome(result, BRN_ERR_NO_TAG);
    }

private:
    static Outcome select(brnHandle handle, const Uid& uid)
    {
        Answer a;
        const std::int32_t result = ORBA_SelectISO15693(linkOf(handle), uid.data(), &a.length, a.data, &a.status);
        return commandOutcome(result, a.status);
    }
};

} // namespace

ReaderFamily& orbaFamily()
{
    static OrbaFamily family;
    return family;
}

} // namespace brenholt
