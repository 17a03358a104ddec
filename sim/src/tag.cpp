#include "sim/tag.h"

#include <algorithm>

namespace sim {

using namespace iso;

namespace {

std::vector<std::uint8_t> ok()
{
    return {0x00};
}

std::vector<std::uint8_t> error(std::uint8_t code)
{
    return {kResponseError, code};
}

// The sequence an EAS chip answers the alarm command with: an arbitrary but
// fixed 256-bit pattern, the same for every chip.
constexpr std::uint8_t kEasSequence[32] = {
    0xA5, 0x5A, 0x3C, 0xC3, 0x96, 0x69, 0x0F, 0xF0, 0x5A, 0xA5, 0xC3, 0x3C, 0x69, 0x96, 0xF0, 0x0F,
    0xA5, 0x5A, 0x3C, 0xC3, 0x96, 0x69, 0x0F, 0xF0, 0x5A, 0xA5, 0xC3, 0x3C, 0x69, 0x96, 0xF0, 0x0F,
};

} // namespace

Tag::Tag(const Uid& uid, int blockCount, int blockSize)
    : uid_(uid), blockCount_(std::clamp(blockCount, 1, 256)), blockSize_(std::clamp(blockSize, 1, 32)),
      memory_(static_cast<std::size_t>(blockCount_ * blockSize_), 0),
      locked_(static_cast<std::size_t>(blockCount_), false)
{
}

std::span<const std::uint8_t> Tag::blockBytes(int block) const
{
    if (block < 0 || block >= blockCount_)
        return {};
    return std::span<const std::uint8_t>(memory_).subspan(static_cast<std::size_t>(block * blockSize_),
                                                          static_cast<std::size_t>(blockSize_));
}

bool Tag::setBlockBytes(int block, std::span<const std::uint8_t> bytes)
{
    if (block < 0 || block >= blockCount_ || bytes.size() != static_cast<std::size_t>(blockSize_))
        return false;
    std::copy(bytes.begin(), bytes.end(), memory_.begin() + block * blockSize_);
    return true;
}

std::uint32_t Tag::block(int block) const
{
    const auto bytes = blockBytes(block);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
        value |= std::uint32_t{bytes[i]} << (8 * i);
    return value;
}

bool Tag::setBlock(int block, std::uint32_t value)
{
    if (block < 0 || block >= blockCount_)
        return false;
    auto* p = memory_.data() + block * blockSize_;
    for (int i = 0; i < blockSize_; ++i)
        p[i] = i < 4 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0;
    return true;
}

bool Tag::blockLocked(int block) const
{
    return block >= 0 && block < blockCount_ && locked_[static_cast<std::size_t>(block)];
}

bool Tag::setBlockLocked(int block, bool locked)
{
    if (block < 0 || block >= blockCount_)
        return false;
    locked_[static_cast<std::size_t>(block)] = locked;
    return true;
}

void Tag::powerOn()
{
    if (state_ == State::PowerOff)
        state_ = State::Ready;
    answerSlot_ = -1;
}

void Tag::powerOff()
{
    state_ = State::PowerOff;
    answerSlot_ = -1;
}

std::span<const std::uint8_t> Tag::easSequence()
{
    return kEasSequence;
}

std::uint8_t Tag::securityStatus(int block) const
{
    return blockLocked(block) ? 0x01 : 0x00;
}

bool Tag::afiMatches(std::uint8_t requested) const
{
    // 0x00: every tag. X0: every sub-family of family X. Otherwise the exact value.
    if (requested == 0)
        return true;
    if ((requested & 0x0F) == 0 && (requested & 0xF0) != 0)
        return (afi_ & 0xF0) == (requested & 0xF0);
    return afi_ == requested;
}

Tag::Response Tag::inventoryResponse() const
{
    std::vector<std::uint8_t> out{0x00, dsfid_};
    const auto air = uidToAir(uid_);
    out.insert(out.end(), air.begin(), air.end());
    return out;
}

std::optional<std::vector<std::uint8_t>> Tag::air(std::span<const std::uint8_t> request)
{
    if (state_ == State::PowerOff)
        return std::nullopt;
    if (request.empty())
        return nextSlot();
    answerSlot_ = -1; // any other request ends an inventory round
    if (request.size() < 2)
        return std::nullopt;
    const std::uint8_t flags = request[0];
    const std::uint8_t code = request[1];
    // Two-byte block numbers are not supported: such frames are not understood.
    if (flags & kFlagProtocolExtension)
        return std::nullopt;
    if (flags & kFlagInventory)
        return inventory(request);
    if (code == kInventory)
        return std::nullopt;
    const std::optional<std::size_t> params = paramsForThisTag(request);
    if (!params)
        return std::nullopt;
    return tagCommand(flags, code, request.subspan(*params));
}

// An end-of-frame pulse: the next slot of a 16-slot inventory.
Tag::Response Tag::nextSlot()
{
    if (answerSlot_ < 0)
        return std::nullopt;
    if (++currentSlot_ != answerSlot_) {
        if (currentSlot_ > 15)
            answerSlot_ = -1;
        return std::nullopt;
    }
    answerSlot_ = -1;
    return inventoryResponse();
}

// Where the parameters of a request to this tag start (after the maker code
// of a custom command and the UID of an addressed request), or nothing when
// the request is not this tag's: addressed to another UID, for the selected
// tag while this one is not, non-addressed while this tag is quiet, or a
// custom command of another chip maker.
std::optional<std::size_t> Tag::paramsForThisTag(std::span<const std::uint8_t> request)
{
    const std::uint8_t flags = request[0];
    const std::uint8_t code = request[1];
    std::size_t pos = 2;
    const bool custom = isCustomCommand(code);
    std::uint8_t maker = 0;
    if (custom) {
        if (request.size() < 3)
            return std::nullopt;
        maker = request[2];
        pos = 3;
    }
    const bool addressed = flags & kFlagAddress;
    const bool selectOnly = flags & kFlagSelect;
    if (addressed && selectOnly)
        return std::nullopt;
    if (addressed) {
        if (request.size() < pos + 8)
            return std::nullopt;
        const bool mine = uidFromAir(request.subspan(pos, 8)) == uid_;
        pos += 8;
        if (!mine) {
            // Another tag is being selected: a selected tag steps back to ready.
            if (code == kSelect && state_ == State::Selected)
                state_ = State::Ready;
            return std::nullopt;
        }
    } else if (selectOnly) {
        if (state_ != State::Selected)
            return std::nullopt;
    } else if (state_ == State::Quiet) {
        return std::nullopt;
    }
    // A custom command of another chip maker is not for this chip.
    if (custom && maker != manufacturer())
        return std::nullopt;
    return pos;
}

// A request that reached this tag: the state commands (stay quiet, select,
// reset to ready), the custom EAS commands, or the memory commands.
Tag::Response Tag::tagCommand(std::uint8_t flags, std::uint8_t code, std::span<const std::uint8_t> params)
{
    const bool addressed = flags & kFlagAddress;
    switch (code) {
    case kStayQuiet:
        if (addressed && params.empty())
            state_ = State::Quiet;
        return std::nullopt; // never answered
    case kSelect:
        if (!addressed || !params.empty())
            return std::nullopt;
        state_ = State::Selected;
        return ok();
    case kResetToReady:
        if (!params.empty())
            return std::nullopt;
        state_ = State::Ready;
        return ok();
    default:
        break;
    }
    if (isCustomCommand(code))
        return eas(code, flags, params);
    return command(flags, code, params);
}

Tag::Response Tag::inventory(std::span<const std::uint8_t> request)
{
    const std::uint8_t flags = request[0];
    if (request[1] != kInventory || state_ == State::Quiet)
        return std::nullopt;
    std::size_t pos = 2;
    std::optional<std::uint8_t> afi;
    if (flags & kFlagAfi) {
        if (request.size() < 3)
            return std::nullopt;
        afi = request[2];
        pos = 3;
    }
    if (request.size() < pos + 1)
        return std::nullopt;
    const unsigned maskLength = request[pos++];
    const bool oneSlot = flags & kFlagOneSlot;
    if (maskLength > (oneSlot ? 64u : 60u))
        return std::nullopt;
    const std::size_t maskBytes = (maskLength + 7) / 8;
    if (request.size() != pos + maskBytes)
        return std::nullopt;
    if (afi && !afiMatches(*afi))
        return std::nullopt;
    std::uint64_t mask = 0;
    for (std::size_t i = 0; i < maskBytes; ++i)
        mask |= std::uint64_t{request[pos + i]} << (8 * i);
    const std::uint64_t value = uidValue(uid_);
    const std::uint64_t bits = maskLength >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << maskLength) - 1;
    if (((value ^ mask) & bits) != 0)
        return std::nullopt;
    if (oneSlot)
        return inventoryResponse();
    // 16 slots: the four UID bits above the mask give this tag's slot.
    const int slot = static_cast<int>((value >> maskLength) & 0x0F);
    if (slot == 0)
        return inventoryResponse();
    answerSlot_ = slot;
    currentSlot_ = 0;
    return std::nullopt;
}

Tag::Response Tag::command(std::uint8_t flags, std::uint8_t code, std::span<const std::uint8_t> params)
{
    const bool option = flags & kFlagOption;
    switch (code) {
    case kReadSingleBlock: return readSingleBlock(params, option);
    case kReadMultipleBlocks:
    case kGetBlockSecurityStatus: return readBlocks(code, params, option);
    case kWriteSingleBlock: return writeSingleBlock(params);
    case kLockBlock: return lockBlock(params);
    case kWriteAfi:
    case kWriteDsfid: return writeIdentityByte(code == kWriteAfi, params);
    case kLockAfi:
    case kLockDsfid: return lockIdentityByte(code == kLockAfi, params);
    case kGetSystemInformation: return systemInformation(params);
    default: return error(kErrNotSupported);
    }
}

// [block]: the block, after its security status with the option flag.
Tag::Response Tag::readSingleBlock(std::span<const std::uint8_t> params, bool option)
{
    if (params.size() != 1)
        return std::nullopt;
    const int block = params[0];
    if (block >= blockCount_)
        return error(kErrBlockNotAvailable);
    auto out = ok();
    if (option)
        out.push_back(securityStatus(block));
    const auto bytes = blockBytes(block);
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

// [first][count - 1]: the blocks (each after its security status with the
// option flag), or their security statuses alone.
Tag::Response Tag::readBlocks(std::uint8_t code, std::span<const std::uint8_t> params, bool option)
{
    if (params.size() != 2)
        return std::nullopt;
    const int first = params[0];
    const int count = params[1] + 1;
    if (first + count > blockCount_)
        return error(kErrBlockNotAvailable);
    auto out = ok();
    for (int b = first; b < first + count; ++b) {
        if (code == kGetBlockSecurityStatus || option)
            out.push_back(securityStatus(b));
        if (code == kReadMultipleBlocks) {
            const auto bytes = blockBytes(b);
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
    }
    return out;
}

// [block][the block's bytes].
Tag::Response Tag::writeSingleBlock(std::span<const std::uint8_t> params)
{
    if (params.size() != 1 + static_cast<std::size_t>(blockSize_))
        return std::nullopt;
    const int block = params[0];
    if (block >= blockCount_)
        return error(kErrBlockNotAvailable);
    if (blockLocked(block))
        return error(kErrLocked);
    setBlockBytes(block, params.subspan(1));
    return ok();
}

// [block].
Tag::Response Tag::lockBlock(std::span<const std::uint8_t> params)
{
    if (params.size() != 1)
        return std::nullopt;
    const int block = params[0];
    if (block >= blockCount_)
        return error(kErrBlockNotAvailable);
    if (blockLocked(block))
        return error(kErrAlreadyLocked);
    setBlockLocked(block, true);
    return ok();
}

// [value] of the AFI (afi) or the DSFID.
Tag::Response Tag::writeIdentityByte(bool afi, std::span<const std::uint8_t> params)
{
    if (params.size() != 1)
        return std::nullopt;
    if (afi ? afiLocked_ : dsfidLocked_)
        return error(kErrLocked);
    (afi ? afi_ : dsfid_) = params[0];
    return ok();
}

// The lock of the AFI (afi) or the DSFID.
Tag::Response Tag::lockIdentityByte(bool afi, std::span<const std::uint8_t> params)
{
    if (!params.empty())
        return std::nullopt;
    bool& lock = afi ? afiLocked_ : dsfidLocked_;
    if (lock)
        return error(kErrAlreadyLocked);
    lock = true;
    return ok();
}

Tag::Response Tag::systemInformation(std::span<const std::uint8_t> params) const
{
    if (!params.empty())
        return std::nullopt;
    // Information flags: DSFID, AFI, memory size and IC reference present.
    std::vector<std::uint8_t> out{0x00, 0x0F};
    const auto air = uidToAir(uid_);
    out.insert(out.end(), air.begin(), air.end());
    out.push_back(dsfid_);
    out.push_back(afi_);
    out.push_back(static_cast<std::uint8_t>(blockCount_ - 1));
    out.push_back(static_cast<std::uint8_t>((blockSize_ - 1) & 0x1F));
    out.push_back(icReference_);
    return out;
}

Tag::Response Tag::eas(std::uint8_t code, std::uint8_t flags, std::span<const std::uint8_t> params)
{
    const bool easCommand = code >= kSetEas && code <= kEasAlarm;
    if (!easCommand || !easSupported_)
        return error(kErrNotSupported);
    switch (code) {
    case kSetEas:
    case kResetEas:
        if (!params.empty())
            return std::nullopt;
        if (easLocked_)
            return error(kErrLocked);
        eas_ = code == kSetEas;
        return ok();
    case kLockEas:
        if (!params.empty())
            return std::nullopt;
        if (easLocked_)
            return error(kErrAlreadyLocked);
        easLocked_ = true;
        return ok();
    default: { // kEasAlarm
        // Selective alarms (option flag, EAS identifier mask) are not offered;
        // a chip with its EAS bit off stays silent.
        if ((flags & kFlagOption) || !params.empty() || !eas_)
            return std::nullopt;
        auto out = ok();
        out.insert(out.end(), std::begin(kEasSequence), std::end(kEasSequence));
        return out;
    }
    }
}

} // namespace sim
