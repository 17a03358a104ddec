// An ISO/IEC 15693 tag: its memory and its protocol state machine.
//
// Memory: UID, DSFID and AFI (each with a lock), blocks of 4 bytes (28 by
// default) with a lock bit each, and the EAS bit with its lock. Chips without
// EAS support refuse the EAS custom commands with an error response.
//
// A tag holds each block least significant byte first: byte 0 of a block is
// the low byte of the block's 32-bit value. On the air the block bytes travel
// in that same order, and so does the UID (least significant byte first).
//
// State machine (ISO/IEC 15693-3): power-off (no field), ready, quiet,
// selected. Addressed requests (address flag, UID) reach the one tag in any
// powered state; select-flag requests reach the selected tag only;
// non-addressed requests reach tags in the ready and selected states.
// Inventories are answered in the ready and selected states. Stay quiet
// (addressed) sends a tag to quiet; Select (addressed) selects it and sends any
// other selected tag back to ready; Reset to ready brings it back to ready.
//
// Not thread-safe: a tag lives in a Field, which lives under its reader's lock.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/iso15693.h"

namespace sim {

class Tag {
public:
    enum class State { PowerOff, Ready, Quiet, Selected };

    static constexpr int kDefaultBlockCount = 28;
    static constexpr int kDefaultBlockSize = 4;

    // blockCount 1 to 256, blockSize 1 to 32 (values outside are clamped).
    // A new tag has DSFID 0, AFI 0, all bytes 0, nothing locked, EAS off and
    // supported, and is powered off until a field powers it.
    explicit Tag(const Uid& uid, int blockCount = kDefaultBlockCount, int blockSize = kDefaultBlockSize);

    const Uid& uid() const { return uid_; }
    // IC manufacturer code: the UID's second byte (0x04 in E004...).
    std::uint8_t manufacturer() const { return uid_[1]; }

    int blockCount() const { return blockCount_; }
    int blockSize() const { return blockSize_; }

    // Block bytes as the tag holds them. Out-of-range blocks: empty span / false.
    std::span<const std::uint8_t> blockBytes(int block) const;
    bool setBlockBytes(int block, std::span<const std::uint8_t> bytes);
    // The block's value from its first four bytes, byte 0 the least significant.
    std::uint32_t block(int block) const;
    bool setBlock(int block, std::uint32_t value);
    bool blockLocked(int block) const;
    bool setBlockLocked(int block, bool locked = true);

    std::uint8_t afi() const { return afi_; }
    void setAfi(std::uint8_t afi) { afi_ = afi; }
    bool afiLocked() const { return afiLocked_; }
    void setAfiLocked(bool locked = true) { afiLocked_ = locked; }

    std::uint8_t dsfid() const { return dsfid_; }
    void setDsfid(std::uint8_t dsfid) { dsfid_ = dsfid; }
    bool dsfidLocked() const { return dsfidLocked_; }
    void setDsfidLocked(bool locked = true) { dsfidLocked_ = locked; }

    bool eas() const { return eas_; }
    void setEas(bool on) { eas_ = on; }
    bool easLocked() const { return easLocked_; }
    void setEasLocked(bool locked = true) { easLocked_ = locked; }
    bool easSupported() const { return easSupported_; }
    void setEasSupported(bool supported) { easSupported_ = supported; }

    std::uint8_t icReference() const { return icReference_; }
    void setIcReference(std::uint8_t reference) { icReference_ = reference; }

    State state() const { return state_; }
    // Entering a field (power-on: ready) and leaving it or the field going off
    // (power-off: every state is lost).
    void powerOn();
    void powerOff();

    // One request exactly as on the air (flags, command code, [IC manufacturer
    // code for custom commands], [UID least significant byte first when
    // addressed], parameters; no SOF, no CRC). Returns the tag's response
    // (flags byte, then data or an error code), or nothing when it stays
    // silent. An empty request is the end-of-frame pulse that opens the next
    // slot of a 16-slot inventory.
    std::optional<std::vector<std::uint8_t>> air(std::span<const std::uint8_t> request);

    // The 32 bytes an EAS chip sends after its flags byte when its EAS bit is on.
    static std::span<const std::uint8_t> easSequence();

private:
    using Response = std::optional<std::vector<std::uint8_t>>;
    Response nextSlot();
    std::optional<std::size_t> paramsForThisTag(std::span<const std::uint8_t> request);
    Response tagCommand(std::uint8_t flags, std::uint8_t code, std::span<const std::uint8_t> params);
    Response inventory(std::span<const std::uint8_t> request);
    Response command(std::uint8_t flags, std::uint8_t code, std::span<const std::uint8_t> params);
    Response readSingleBlock(std::span<const std::uint8_t> params, bool option);
    Response readBlocks(std::uint8_t code, std::span<const std::uint8_t> params, bool option);
    Response writeSingleBlock(std::span<const std::uint8_t> params);
    Response lockBlock(std::span<const std::uint8_t> params);
    Response writeIdentityByte(bool afi, std::span<const std::uint8_t> params);
    Response lockIdentityByte(bool afi, std::span<const std::uint8_t> params);
    Response systemInformation(std::span<const std::uint8_t> params) const;
    Response eas(std::uint8_t code, std::uint8_t flags, std::span<const std::uint8_t> params);
    Response inventoryResponse() const;
    bool afiMatches(std::uint8_t requested) const;
    std::uint8_t securityStatus(int block) const;

    Uid uid_;
    int blockCount_;
    int blockSize_;
    std::vector<std::uint8_t> memory_;
    std::vector<bool> locked_;
    std::uint8_t afi_ = 0;
    std::uint8_t dsfid_ = 0;
    bool afiLocked_ = false;
    bool dsfidLocked_ = false;
    bool eas_ = false;
    bool easLocked_ = false;
    bool easSupported_ = true;
    std::uint8_t icReference_ = 0x01;
    State state_ = State::PowerOff;
    // A 16-slot inventory in progress: the slot this tag answers in, and the
    // slot the reader's end-of-frame pulses have reached.
    int answerSlot_ = -1;
    int currentSlot_ = 0;
};

} // namespace sim
