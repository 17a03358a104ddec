#include "zpx_reader.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/field.h"

namespace sim::zpx {

bool isMode(std::uint8_t byte)
{
    return byte == kModeAddrCrc || byte == kModeAddr || byte == kModeCrc || byte == kModePlain;
}

bool hasAddress(std::uint8_t mode) { return mode == kModeAddrCrc || mode == kModeAddr; }
bool hasCrc(std::uint8_t mode) { return mode == kModeAddrCrc || mode == kModeCrc; }

std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc)
{
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

namespace {

std::vector<std::uint8_t> frame(std::uint8_t mode, std::uint8_t address, std::uint8_t command, std::uint8_t length,
                                std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> out{mode};
    const std::size_t covered = out.size();
    if (hasAddress(mode))
        out.push_back(address);
    out.push_back(command);
    out.push_back(length);
    out.insert(out.end(), data.begin(), data.end());
    if (hasCrc(mode)) {
        const std::uint16_t crc = crc16(std::span(out).subspan(covered));
        out.push_back(static_cast<std::uint8_t>(crc >> 8));
        out.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    }
    return out;
}

} // namespace

std::vector<std::uint8_t> requestFrame(const Request& request)
{
    return frame(request.mode, request.address, request.command, static_cast<std::uint8_t>(request.data.size()),
                 request.data);
}

Request parse(std::span<const std::uint8_t> frame)
{
    Request r;
    r.mode = frame[0];
    std::size_t at = 1;
    if (hasAddress(r.mode))
        r.address = frame[at++];
    r.command = frame[at++];
    // An answer's length 0xFF announces a block list that runs to the check
    // bytes; never look past the frame.
    const std::size_t available = frame.size() - at - 1 - (hasCrc(r.mode) ? 2 : 0);
    const std::size_t length = frame[at++];
    r.data = frame.subspan(at, std::min(length, available));
    return r;
}

Answer Answer::blocks(std::uint8_t status, const std::vector<std::vector<std::uint8_t>>& records)
{
    Answer a{status, {}, true};
    for (const auto& record : records) {
        a.data.push_back(static_cast<std::uint8_t>(record.size()));
        a.data.insert(a.data.end(), record.begin(), record.end());
    }
    a.data.push_back(0xFF);
    return a;
}

std::vector<std::uint8_t> answerFrame(std::uint8_t mode, std::uint8_t address, const Answer& answer)
{
    const auto length = answer.blockList ? std::uint8_t{0xFF} : static_cast<std::uint8_t>(answer.data.size());
    return frame(mode, address, answer.status, length, answer.data);
}

Cut ZpxReader::cut(std::span<const std::uint8_t> pending) const
{
    const std::uint8_t mode = pending[0];
    if (!isMode(mode))
        return Cut::skip();
    const std::size_t header = hasAddress(mode) ? 4 : 3; // mode, [address], command, length
    if (pending.size() < header)
        return Cut::needMore();
    const std::size_t total = header + pending[header - 1] + (hasCrc(mode) ? 2 : 0);
    return pending.size() < total ? Cut::needMore() : Cut::frame(total);
}

int ZpxReader::commandCode(std::span<const std::uint8_t> frame) const
{
    return frame[hasAddress(frame[0]) ? 2 : 1];
}

void ZpxReader::handle(std::span<const std::uint8_t> frame, Context& ctx)
{
    const Request request = parse(frame);
    if (hasCrc(request.mode)) {
        const std::size_t covered = frame.size() - 3; // all but the mode and CRC bytes
        const std::uint16_t expected = crc16(frame.subspan(1, covered));
        const std::uint16_t got = static_cast<std::uint16_t>(frame[frame.size() - 2] << 8 | frame.back());
        if (expected != got) {
            ctx.log("request with a wrong CRC ignored");
            return;
        }
    }
    if (hasAddress(request.mode) && !acceptsAddress(request.address))
        return;
    if (auto answer = execute(request, ctx))
        ctx.send(answerFrame(request.mode, address_, *answer));
}

bool ZpxReader::corruptCrc(std::vector<std::uint8_t>& frame) const
{
    if (frame.empty() || !hasCrc(frame[0]))
        return false;
    frame.back() ^= 0xFF;
    return true;
}

std::optional<std::vector<std::uint8_t>> ZpxReader::statusAnswer(std::span<const std::uint8_t> request,
                                                                 std::uint8_t status) const
{
    return answerFrame(request[0], address_, Answer::error(status));
}

std::string ZpxReader::describe(std::span<const std::uint8_t> frame) const
{
    const Request r = parse(frame);
    char head[48];
    std::snprintf(head, sizeof head, "mode %u cmd %02X len %zu:", r.mode, r.command, r.data.size());
    std::string text = head;
    for (std::uint8_t b : r.data) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        text += hex;
    }
    return text;
}

} // namespace sim::zpx
