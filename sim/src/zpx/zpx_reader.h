// The reader's side of ZPX framing, shared by every first-make family
// (FENO, ORBA, TALU, GIRM): cutting request frames out of the host's bytes,
// checking their CRC and address, and building answer frames in the mode
// the request came in.
//
// Frame: mode (2, 6, 14, 30) | address (modes 2, 6) | command | length |
// data | CRC-16/KERMIT high byte first (modes 2, 14). The CRC covers address,
// command, length and data, never the mode byte. In an answer, the length
// 0xFF announces a block list: count-prefixed blocks ended by a 0xFF byte.
// A request's length 0xFF is simply 255 data bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/personality.h"

namespace sim::zpx {

constexpr std::uint8_t kModeAddrCrc = 2;
constexpr std::uint8_t kModeAddr = 6;
constexpr std::uint8_t kModeCrc = 14;
constexpr std::uint8_t kModePlain = 30;

bool isMode(std::uint8_t byte);
bool hasAddress(std::uint8_t mode);
bool hasCrc(std::uint8_t mode);

// CRC-16/KERMIT (reflected 0x1021, initial 0, no final exclusive-or).
std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

struct Request {
    std::uint8_t mode = kModeAddrCrc;
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    std::span<const std::uint8_t> data;
};

// A request as a host sends it (for tests and benchmarks).
std::vector<std::uint8_t> requestFrame(const Request& request);

// Parses a complete request frame as cut by ZpxReader::cut, or an answer
// frame (a block list: its data run to the check bytes); no CRC check.
Request parse(std::span<const std::uint8_t> frame);

struct Answer {
    std::uint8_t status = 0;
    std::vector<std::uint8_t> data; // plain data (at most 254 bytes), or the encoded block list
    bool blockList = false;

    static Answer ok(std::vector<std::uint8_t> data = {}) { return {0x00, std::move(data), false}; }
    static Answer error(std::uint8_t status, std::vector<std::uint8_t> data = {}) { return {status, std::move(data), false}; }
    // A block list of records; each record at most 254 bytes.
    static Answer blocks(std::uint8_t status, const std::vector<std::vector<std::uint8_t>>& records);
};

std::vector<std::uint8_t> answerFrame(std::uint8_t mode, std::uint8_t address, const Answer& answer);

// Base of a first-make reader family: framing, CRC and address checks, the
// status fault. A family implements execute() for its command set.
class ZpxReader : public Personality {
public:
    explicit ZpxReader(std::uint8_t address) : address_(address) {}

    Cut cut(std::span<const std::uint8_t> pending) const override;
    int commandCode(std::span<const std::uint8_t> frame) const override;
    void handle(std::span<const std::uint8_t> frame, Context& ctx) override;
    bool corruptCrc(std::vector<std::uint8_t>& frame) const override;
    std::optional<std::vector<std::uint8_t>> statusAnswer(std::span<const std::uint8_t> request,
                                                          std::uint8_t status) const override;
    std::string describe(std::span<const std::uint8_t> frame) const override;

    std::uint8_t address() const { return address_; }
    void setAddress(std::uint8_t address) { address_ = address; }

protected:
    // Runs one command; nothing means the reader stays silent.
    virtual std::optional<Answer> execute(const Request& request, Context& ctx) = 0;

    // Whether a frame with this address is meant for this reader. Default:
    // its own address, or 0xFF for any reader. Frames without address (modes
    // 14 and 30) always are.
    virtual bool acceptsAddress(std::uint8_t address) const { return address == address_ || address == 0xFF; }

private:
    std::uint8_t address_;
};

} // namespace sim::zpx
