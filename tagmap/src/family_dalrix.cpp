// Family 4: the second make, through the Dalrix driver. A step succeeds when
// the driver returns 0 and the low four bits of its error code byte are
// clear. UIDs go to and come from the driver most significant byte first;
// block bytes travel in the tag's own order, least significant first.
#include <algorithm>
#include <memory>
#include <vector>

#include "dalrix_driver.h"
#include "family.h"
#include "platform/clock.h"
#include "second_make.h"

namespace brenholt {
namespace {

constexpr std::uint8_t kAnyReader = 0xFF;
constexpr int kListEntrySize = 9; // DSFID, then the UID
constexpr int kMaxListEntries = 255;
constexpr int kAnswerSize = 256;
// The reader's status when no tag answered an inventory: an empty field.
constexpr std::int32_t kNoTagAnswered = 0x0B;
// The status of the frame that closes a streamed inventory.
constexpr std::int32_t kInventoryDone = 0x01;
// The request flags of the EAS custom commands sent through this reader.
constexpr std::uint8_t kEasRequestFlags = ISO15693_FLAG_SUBCARRIER | ISO15693_FLAG_HIGH_RATE;

// The address records of the open readers.
std::vector<std::unique_ptr<std::uint8_t>>& records()
{
    static std::vector<std::unique_ptr<std::uint8_t>> open;
    return open;
}

std::uint8_t* recordOf(brnHandle handle) { return static_cast<std::uint8_t*>(handle); }

Outcome driverOutcome(std::int32_t result, std::uint8_t errorCode, std::int32_t fallback = BRN_ERR_READER)
{
    if (result == 0 && (errorCode & 0x0F) == 0)
        return Outcome::success();
    return Outcome::failure(result, errorCode, fallback);
}

// Reader statuses at and above this refuse the request itself (unknown
// command, parameter error).
constexpr std::int32_t kUnknownCommandStatus = 0xFE;

// The state byte of the tag commands: 0 sends the UID, 1 asks whichever tag answers.
std::uint8_t stateFor(const Uid* uid) { return uid ? 0 : 1; }

class DalrixFamily final : public ReaderFamily {
public:
    std::int32_t number() const override { return BRN_FAMILY_DALRIX; }
    bool accepts(brnHandle handle) const override { return isSecondMakeReader(handle); }

    Outcome setRf(brnHandle handle, bool on) override
    {
        const auto& d = *dalrixDriver();
        if (on) {
            d.OpenRf(recordOf(handle)); // the field cannot fail to come on here
            return Outcome::success();
        }
        return driverOutcome(d.CloseRf(recordOf(handle)), 0);
    }

    Outcome inventory(brnHandle handle, InventoryUse use, AfiFilter filter, std::vector<Uid>& tags) override
    {
        // Type 0 asks for one answer without AFI, type 1 for one answer with
        // it; only a count by type and continuous reading filter on the AFI.
        // A count must see every tag (a write goes ahead only when it is 1):
        // it takes the streamed inventory, types 2 and 3, which lists each
        // tag and ends with the reader's closing frame.
        const bool byAfi = use == InventoryUse::CountByType || use == InventoryUse::Continuous;
        const bool count = use == InventoryUse::Count || use == InventoryUse::CountByType;
        const std::uint8_t type = static_cast<std::uint8_t>((byAfi && filter.on ? 1 : 0) | (count ? 2 : 0));
        std::uint8_t list[kListEntrySize * kMaxListEntries]{};
        std::uint8_t listed = 0;
        const std::int32_t result = dalrixDriver()->Inventory(recordOf(handle), &type, &filter.afi, list, &listed);
        for (int i = 0; i < listed; ++i) {
            Uid uid{};
            std::copy_n(list + i * kListEntrySize + 1, uid.size(), uid.begin());
            tags.push_back(uid);
        }
        if ((result == kNoTagAnswered && listed == 0) || (count && result == kInventoryDone))
            return Outcome::success();
        return driverOutcome(result, 0);
    }

    bool waitsOnCallersLoop() const override { return true; }

    Outcome readBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t& value) override
    {
        const std::uint8_t state = 0;
        std::uint8_t security = 0;
        std::uint8_t data[8]{}; // room for the 8-byte blocks of other states
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->ReadSingleBlock(recordOf(handle), &state, uidBytes(uid),
                                                                    static_cast<std::uint8_t>(block), &security, data,
                                                                    &errorCode);
        const Outcome outcome = driverOutcome(result, errorCode);
        if (outcome.ok)
            value = valueLsbFirst(data);
        return outcome;
    }

    Outcome readLocks(brnHandle handle, const Uid* uid, std::uint32_t& rawLockMask) override
    {
        const std::uint8_t state = 0;
        std::uint8_t security[8]{};
        std::uint8_t blocks[8 * 8]{};
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->ReadMultipleBlock(
            recordOf(handle), &state, uidBytes(uid), 0, 8, security, blocks, &errorCode);
        const Outcome outcome = driverOutcome(result, errorCode);
        if (outcome.ok)
            rawLockMask = lockBitsFrom(security, 1);
        return outcome;
    }

    Outcome queryEas(brnHandle handle, const Uid* uid, std::optional<std::int32_t>& easState) override
    {
        platform::sleepMs(1);
        if (uid) {
            const Outcome selected = select(handle, *uid);
            if (!selected.ok)
                return selected;
        }
        // The alarm request goes to the tag as it is; the tag answers it only
        // while its EAS bit is set.
        const std::uint8_t request[] = {easFlags(kEasRequestFlags, uid), ISO15693_CHM_EAS_ALARM,
                                        ISO15693_CHM_MANUFACTURER};
        std::uint8_t answerLength = 0;
        std::uint8_t answer[kAnswerSize]{};
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->TransparentRead(recordOf(handle), 0x23, sizeof request, request,
                                                                    &answerLength, answer, &errorCode);
        // A tag whose EAS bit is off does not answer the alarm: the reader says
        // so, and the state is 0. An answer lost on the line (the driver's own
        // codes: none in time, wrong CRC or length, busy) or a request the
        // reader refused tells nothing of the bit: the query fails.
        const bool told = result < DRV_NO_ANSWER || (result > DRV_BUSY && result < kUnknownCommandStatus);
        if (!told)
            return Outcome::failure(result, errorCode);
        easState = driverOutcome(result, errorCode).ok ? 1 : 0;
        return Outcome::success();
    }

    Outcome systemInfo(brnHandle handle, const Uid* uid, SystemInfo& info) override
    {
        const std::uint8_t state = 0;
        std::uint8_t flags = 0, uidOut[8]{}, dsfid = 0, afi = 0, memorySize[2]{}, icReference = 0, errorCode = 0;
        const std::int32_t result = dalrixDriver()->GetSystemInformation(recordOf(handle), &state, uidBytes(uid), &flags,
                                                                         uidOut, &dsfid, &afi, memorySize,
                                                                         &icReference, &errorCode);
        const Outcome outcome = driverOutcome(result, errorCode);
        if (!outcome.ok)
            return outcome;
        // The driver has unpacked the fields the information flags announce.
        if (flags & kInfoDsfid)
            info.dsfid = dsfid;
        if (flags & kInfoAfi)
            info.afi = afi;
        if (flags & kInfoMemorySize) {
            info.blockCount = memorySize[0] + 1;
            info.blockSize = (memorySize[1] & 0x1F) + 1;
        }
        return outcome;
    }

    void prepareWrite(brnHandle) override {}

    Outcome writeAfi(brnHandle handle, const Uid* uid, std::uint8_t afi) override
    {
        const std::uint8_t state = stateFor(uid);
        std::uint8_t errorCode = 0;
        const std::int32_t result =
            dalrixDriver()->WriteAFI(recordOf(handle), &state, uidBytes(uid), afi, &errorCode);
        return driverOutcome(result, errorCode);
    }

    Outcome writeEas(brnHandle handle, const Uid* uid, EasAction action) override
    {
        if (uid) {
            const Outcome selected = select(handle, *uid);
            if (!selected.ok)
                return selected;
        }
        const std::uint8_t parameters[] = {0x00, 0x44, 0x00, 0x00};
        const std::uint8_t request[] = {easFlags(kEasRequestFlags, uid), easCommand(action),
                                        ISO15693_CHM_MANUFACTURER};
        std::uint8_t answerLength = 0;
        std::uint8_t answer[kAnswerSize]{};
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->TransparentWrite(recordOf(handle), parameters, 3, sizeof request,
                                                                     request, &answerLength, answer, &errorCode);
        return driverOutcome(result, errorCode);
    }

    Outcome writeBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t value) override
    {
        // The reader stores the bytes in the order given: tag byte 0 first.
        const auto data = bytesLsbFirst(value);
        const std::uint8_t state = stateFor(uid);
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->WriteSingleBlock(
            recordOf(handle), &state, uidBytes(uid), static_cast<std::uint8_t>(block), data.data(),
            &errorCode);
        return driverOutcome(result, errorCode, BRN_ERR_NO_TAG);
    }

    Outcome lockBlock(brnHandle handle, const Uid* uid, int block) override
    {
        const std::uint8_t state = stateFor(uid);
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->LockBlock(recordOf(handle), &state, uidBytes(uid),
                                                              static_cast<std::uint8_t>(block), &errorCode);
        return driverOutcome(result, errorCode, BRN_ERR_NO_TAG);
    }

private:
    static Outcome select(brnHandle handle, const Uid& uid)
    {
        std::uint8_t errorCode = 0;
        const std::int32_t result = dalrixDriver()->Select(recordOf(handle), uid.data(), &errorCode);
        return driverOutcome(result, errorCode);
    }
};

} // namespace

ReaderFamily& dalrixFamily()
{
    static DalrixFamily family;
    return family;
}

Opened openSecondMake(std::int32_t port)
{
    const DalrixDriver* driver = dalrixDriver();
    if (!driver)
        return {BRN_ERR_NO_READER, nullptr};
    auto record = std::make_unique<std::uint8_t>(kAnyReader);
    if (driver->OpenComPort(port - 1, record.get()) != 0) {
        driver->CloseComPort(); // a port without an answering reader stays open in the driver
        return {BRN_ERR_PORT, nullptr};
    }
    std::uint8_t version[2]{}, infoA = 0, infoB[2]{}, scanTime = 0;
    if (driver->GetReaderInformation(record.get(), version, &infoA, infoB, &scanTime) != 0) {
        driver->CloseComPort();
        return {BRN_ERR_VERSION, nullptr};
    }
    brnHandle handle = record.get();
    records().push_back(std::move(record));
    return {BRN_OK, handle};
}

bool isSecondMakeReader(brnHandle handle)
{
    const auto& open = records();
    return handle && std::any_of(open.begin(), open.end(), [&](const auto& r) { return r.get() == handle; });
}

void closeSecondMake(brnHandle handle)
{
    auto& open = records();
    const auto it = std::find_if(open.begin(), open.end(), [&](const auto& r) { return r.get() == handle; });
    if (it == open.end())
        return;
    dalrixDriver()->CloseComPort();
    open.erase(it);
}

bool secondMakeLineUp()
{
    const DalrixDriver* driver = dalrixDriver();
    return driver && (!driver->ComPortConnected || driver->ComPortConnected() == 1);
}

std::int32_t selectSecondMakeAntenna(brnHandle handle, std::uint8_t antenna)
{
    if (!isSecondMakeReader(handle))
        return BRN_ERR_HANDLE;
    return dalrixDriver()->SetActiveANT(recordOf(handle), &antenna);
}

} // namespace brenholt
