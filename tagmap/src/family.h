// The reader family adapter: the steps every read and write is made of (RF
// field, inventory, block read, lock status, EAS, AFI, block write and lock),
// each realised by one implementation per reader family with that family's
// commands, argument values, UID byte order and success test.
//
// Block values cross this interface as numbers (tag byte 0 is the least
// significant byte); UIDs as 8 bytes, most significant (E0) first. A null UID
// makes a step unaddressed: it acts on whichever tag answers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "brenholt.h"
#include "errors.h"
#include "iso15693.h"

namespace brenholt {

using Uid = std::array<std::uint8_t, 8>;

// Who runs an inventory: some families ask differently for a count, for
// continuous reading or for a single read.
enum class InventoryUse {
    SingleRead,  // the single-tag search of the single reads
    Count,       // brnInventory
    CountByType, // brnInventoryByType
    Continuous,  // a cycle of continuous reading
    Search,      // the field search of the write by item identifier
};

// An inventory's filter: flag set, only tags whose AFI is afi answer.
struct AfiFilter {
    bool on = false;
    std::uint8_t afi = 0;
};

// The value of an EAS write: set, reset or lock the EAS bit.
enum class EasAction : std::int32_t { Reset = 0, Set = 1, Lock = 2 };

// What a tag's ISO 15693 system information tells; each part only when the
// tag gave it.
struct SystemInfo {
    std::optional<std::uint8_t> dsfid;
    std::optional<std::uint8_t> afi;
    std::optional<int> blockCount; // 1 to 256
    std::optional<int> blockSize;  // bytes, 1 to 32
};
// The information flags of a system information answer: which fields follow the UID.
inline constexpr std::uint8_t kInfoDsfid = 0x01;
inline constexpr std::uint8_t kInfoAfi = 0x02;
inline constexpr std::uint8_t kInfoMemorySize = 0x04;
inline constexpr std::uint8_t kInfoIcReference = 0x08;
// The fields of a system information answer from its information flags
// byte on (flags, UID, then DSFID, AFI, memory size and IC reference as the
// flags announce them), size bytes; false when it is too short for its flags.
bool parseSystemInfo(const std::uint8_t* answer, std::size_t size, SystemInfo& info);

class ReaderFamily {
public:
    virtual ~ReaderFamily() = default;

    // BRN_FAMILY_*.
    virtual std::int32_t number() const = 0;
    // Whether handle can be a reader of this family at all (a second-make
    // handle is an address record this library handed out; a first-make one
    // a link number).
    virtual bool accepts(brnHandle handle) const = 0;

    // Set-up right after the reader was identified at open (its results are
    // not looked at).
    virtual void setUp(brnHandle handle) { (void)handle; }
    // The capability bits of the reader information (BRN_CAP_*); left empty
    // by families that do not tell.
    virtual Outcome capabilities(brnHandle handle, std::optional<std::int32_t>& bits)
    {
        (void)handle;
        (void)bits;
        return Outcome::success();
    }

    // RF field on or off.
    virtual Outcome setRf(brnHandle handle, bool on) = 0;

    // One inventory. tags receives the UID of every tag found, in the order
    // the reader gives them.
    virtual Outcome inventory(brnHandle handle, InventoryUse use, AfiFilter filter, std::vector<Uid>& tags) = 0;

    // Whether the single reads address their steps to the tag found (else
    // they rely on there being one tag, and read unaddressed).
    virtual bool addressesSingleReads() const { return true; }

    // Block i's value.
    virtual Outcome readBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t& value) = 0;
    // Lock status of blocks 0 to 7: bit (2 + i) set when block i is locked.
    virtual Outcome readLocks(brnHandle handle, const Uid* uid, std::uint32_t& rawLockMask) = 0;
    // The EAS bit. A family whose query may fail without ending the read
    // reports success with the state left empty.
    virtual Outcome queryEas(brnHandle handle, const Uid* uid, std::optional<std::int32_t>& easState) = 0;
    // The tag's system information (ISO 15693 Get System Information).
    virtual Outcome systemInfo(brnHandle handle, const Uid* uid, SystemInfo& info) = 0;

    // Continuous reading: whether a failed lock status query only leaves the
    // lock status out of the tag's record (else the tag is left for the next
    // cycle, as for any other failed read).
    virtual bool lockStatusOptional() const { return false; }
    // Whether an inventory that found more than one tag is reported as such
    // to continuous reading's item callback.
    virtual bool reportsManyTags() const { return false; }
    // Whether the reader's commands wait for their answers by dispatching the
    // calling thread's message loop (timer ticks can then come in the middle
    // of a command): continuous reading pauses its timer during a cycle.
    virtual bool waitsOnCallersLoop() const { return false; }
    // Whether the write by item identifier may look for the tag in the field.
    virtual bool searchesField() const { return true; }

    // Before writing (first make: the long command time-out).
    virtual void prepareWrite(brnHandle handle) = 0;
    virtual Outcome writeAfi(brnHandle handle, const Uid* uid, std::uint8_t afi) = 0;
    virtual Outcome writeEas(brnHandle handle, const Uid* uid, EasAction action) = 0;
    virtual Outcome writeBlock(brnHandle handle, const Uid* uid, int block, std::uint32_t value) = 0;
    virtual Outcome lockBlock(brnHandle handle, const Uid* uid, int block) = 0;
    // The locks a write asks for (brnRawItem.lockMask), in ascending block
    // order; the first failure ends them. By default blocks 0 to 7, and the
    // EAS lock bit means nothing.
    virtual Outcome applyLocks(brnHandle handle, const Uid* uid, std::uint32_t rawLockMask);
};

// The adapter of a family number; null for numbers without one.
ReaderFamily* familyFor(std::int32_t number);
// The adapters themselves (one file each).
ReaderFamily& dalrixFamily();
ReaderFamily& fenoFamily();
ReaderFamily& orbaFamily();
ReaderFamily& taluFamily();

// The parts of an ISO 15693 EAS custom command: [flags][command code]
// [ISO15693_CHM_MANUFACTURER]. Its flags byte: a tag that was selected first
// (a step for one UID) is reached with the select flag, so that other tags in
// the field neither answer the alarm query nor take the EAS write; without a
// UID whichever tag answers.
inline constexpr std::uint8_t easFlags(std::uint8_t flags, const Uid* selected)
{
    return selected ? flags | ISO15693_FLAG_SELECT : flags;
}
// A tag's response: the error flag of its flags byte, and the error code
// that follows it of a chip that does not know the command (a chip without
// EAS). Any other error to an EAS write is a refusal (the bit is locked).
inline constexpr bool easWriteRefused(std::uint8_t responseFlags, std::uint8_t errorCode)
{
    return (responseFlags & ISO15693_RESPONSE_ERROR) && errorCode != ISO15693_ERROR_NOT_SUPPORTED;
}
inline constexpr std::uint8_t easCommand(EasAction action)
{
    switch (action) {
    case EasAction::Set: return ISO15693_CHM_SET_EAS;
    case EasAction::Reset: return ISO15693_CHM_RESET_EAS;
    case EasAction::Lock: return ISO15693_CHM_LOCK_EAS;
    }
    return ISO15693_CHM_RESET_EAS;
}

// The UID bytes for a command, or null for an unaddressed one.
inline const std::uint8_t* uidBytes(const Uid* uid) { return uid ? uid->data() : nullptr; }

// The value of a block from 4 bytes, least / most significant first, and back.
inline std::uint32_t valueLsbFirst(const std::uint8_t* b)
{
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
}
inline std::uint32_t valueMsbFirst(const std::uint8_t* b)
{
    return std::uint32_t{b[3]} | std::uint32_t{b[2]} << 8 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[0]} << 24;
}
inline std::array<std::uint8_t, 4> bytesMsbFirst(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v)};
}
inline std::array<std::uint8_t, 4> bytesLsbFirst(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}
// A UID held least significant byte first, turned most significant first.
inline Uid reversedUid(const std::uint8_t* lsbFirst)
{
    Uid uid{};
    for (int i = 0; i < 8; ++i)
        uid[i] = lsbFirst[7 - i];
    return uid;
}
// Eight per-block security status bytes (block i at bytes[i * step]) to lock bits.
inline std::uint32_t lockBitsFrom(const std::uint8_t* first, int step)
{
    std::uint32_t mask = 0;
    for (int i = 0; i < 8; ++i)
        if (first[i * step] != 0)
            mask |= BRN_RAW_LOCK_BLOCK(i);
    return mask;
}

} // namespace brenholt
