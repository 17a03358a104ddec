// The stand-in transport of the answer fuzzers and the argument source.
//
// The library's sources are compiled into the fuzz targets with this file in
// place of the transport library: LVRM_Send takes the request, and the "line"
// (the rest of the input, or a simulated reader's answer) is fed byte by byte
// to the real frame receiver until an answer is complete, as a link thread
// would feed it. A second answer that arrives unasked (the RF scan) comes
// from the same line.
#include "fuzz_answers.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "exchange.h"
#include "frame.h"
#include "linvaro.h"
#include "platform/event.h"
#include "sim/reader.h"

namespace {

struct Line {
    linvaro::AnswerState answer;
    platform::Event* event = nullptr;
    std::span<const std::uint8_t> bytes; // still to arrive
    sim::Reader* reader = nullptr;       // seed generation: answers come from it
    std::vector<std::uint8_t> recorded;  // what the reader sent
};

Line line;

// Feeds the line to the receiver until an answer completes (or the line is
// exhausted); sets the caller's event for a complete answer.
void pump()
{
    while (!line.bytes.empty()) {
        const std::uint8_t byte = line.bytes.front();
        line.bytes = line.bytes.subspan(1);
        if (line.answer.feed(byte)) {
            if (line.event)
                line.event->set();
            return;
        }
    }
}

} // namespace

// ---- the transport's exports, as the library sees them ----------------------------------------------------------

extern "C" {

LVRM_API int32_t LVRM_Send(int32_t handle, int32_t mode, int32_t address, int32_t command, int32_t length,
                           const uint8_t* data, void* answerEvent, const LVRM_NotifyWindow*, uint32_t)
{
    if (handle != quorvel::fuzz::kHandle)
        return LVRM_ERR_INVALID_HANDLE;
    const auto size = static_cast<std::size_t>(length & 0xFF);
    if (size > 0 && !data)
        return LVRM_ERR_UNKNOWN_MODE;
    std::array<std::uint8_t, linvaro::kMaxFrame> frame{};
    const std::size_t frameLength = linvaro::buildFrame(static_cast<std::uint8_t>(mode),
                                                        static_cast<std::uint8_t>(address),
                                                        static_cast<std::uint8_t>(command), {data, size}, frame);
    if (frameLength == 0)
        return LVRM_ERR_UNKNOWN_MODE;
    line.event = static_cast<platform::Event*>(answerEvent);
    if (line.event)
        line.event->reset();
    line.answer.beginRequest(static_cast<std::uint8_t>(mode));
    if (line.reader) {
        const auto reply = line.reader->exchange(std::span(frame).first(frameLength));
        const std::size_t at = line.recorded.size();
        line.recorded.insert(line.recorded.end(), reply.begin(), reply.end());
        line.bytes = std::span(line.recorded).subspan(at);
    }
    pump();
    return LVRM_OK;
}

LVRM_API int32_t LVRM_GetAnswer(int32_t handle, uint8_t* mode, uint8_t* address, uint8_t* command, uint8_t* length,
                                uint8_t* data)
{
    if (handle != quorvel::fuzz::kHandle)
        return LVRM_ERR_INVALID_HANDLE;
    return line.answer.take(mode, address, command, length, data);
}

LVRM_API int32_t LVRM_IsAnswerAvailable(int32_t handle)
{
    if (handle != quorvel::fuzz::kHandle)
        return 0;
    if (line.answer.status() == linvaro::kNothingReceived || line.answer.status() == linvaro::kReceptionInProgress)
        pump(); // whatever else the reader sends arrives now
    const std::int32_t status = line.answer.status();
    return status != linvaro::kNothingReceived && status != linvaro::kReceptionInProgress ? 1 : 0;
}

LVRM_API int32_t LVRM_GetNbBlocks(const uint8_t* data, int32_t size)
{
    return linvaro::countBlocks(data, size);
}

LVRM_API int32_t LVRM_GetBlock(const uint8_t* data, int32_t size, int32_t index, uint8_t* destination,
                               uint32_t* blockLength)
{
    return linvaro::copyBlock(data, size, index, destination, blockLength) ? 1 : 0;
}

LVRM_API int32_t LVRM_GetErrorString(int32_t, char*)
{
    return 0;
}

LVRM_API int32_t LVRM_GetVersion(void)
{
    return LVRM_VERSION;
}

LVRM_API int32_t LVRM_SerialOpen(int32_t, int32_t)
{
    return -1;
}

LVRM_API int32_t LVRM_TCPOpen(const char*, int32_t)
{
    return -1;
}

LVRM_API int32_t LVRM_TCPOpenEx(const char*, int32_t, int32_t, int32_t, int32_t*)
{
    return -1;
}

LVRM_API int32_t LVRM_Close(int32_t)
{
    return 0;
}

LVRM_API int32_t LVRM_IsHandleValid(int32_t handle)
{
    return handle == quorvel::fuzz::kHandle ? 0 : LVRM_ERR_INVALID_HANDLE;
}

LVRM_API intptr_t LVRM_GetCommHandle(int32_t)
{
    return -1;
}

LVRM_API intptr_t LVRM_GetSocket(int32_t)
{
    return -1;
}

LVRM_API int32_t LVRM_SetRTS(int32_t, int32_t)
{
    return 0;
}

LVRM_API int32_t LVRM_SetDTR(int32_t, int32_t)
{
    return 0;
}

LVRM_API int32_t LVRM_GetCTS(int32_t)
{
    return 0;
}

LVRM_API int32_t LVRM_GetDSR(int32_t)
{
    return 0;
}

} // extern "C"

namespace quorvel::fuzz {

namespace {

// A fresh link for every input: default settings, and no waiting for
// answers that are not on the line.
void resetLink()
{
    LinkSettings& settings = *linkSettings(kHandle);
    settings.resetToDefaults();
    settings.timeoutMs = 0;
    line.answer.resetEmpty();
    line.event = nullptr;
    line.bytes = {};
    line.reader = nullptr;
    line.recorded.clear();
}

} // namespace

Args::Args(std::span<const std::uint8_t> bytes) : bytes_(bytes)
{
    nullOutputs_ = (u8() & 1) != 0;
}

std::uint8_t Args::u8()
{
    return at_ < bytes_.size() ? bytes_[at_++] : 0;
}

std::uint16_t Args::u16()
{
    const std::uint16_t high = u8();
    return static_cast<std::uint16_t>(high << 8 | u8());
}

std::int32_t Args::i32()
{
    const std::uint8_t b = u8();
    if (b < 0xF0)
        return b;
    if (b < 0xFF)
        return 0xEF - b; // -1 to -15
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | u8();
    return static_cast<std::int32_t>(value);
}

std::uint8_t* Args::buffer(std::size_t size)
{
    // At least one byte: an empty buffer is still a valid pointer.
    buffers_.push_back(std::make_unique<std::uint8_t[]>(std::max<std::size_t>(size, 1)));
    return buffers_.back().get();
}

const std::uint8_t* Args::in(std::size_t count)
{
    std::uint8_t* data = buffer(count);
    for (std::size_t i = 0; i < count; ++i)
        data[i] = u8();
    return data;
}

const std::uint16_t* Args::words(std::size_t count)
{
    auto* data = reinterpret_cast<std::uint16_t*>(buffer(count * sizeof(std::uint16_t)));
    for (std::size_t i = 0; i < count; ++i)
        data[i] = u16();
    return data;
}

const char* Args::text()
{
    const std::size_t length = std::min<std::size_t>(u8() * 2u, 300);
    char* text = reinterpret_cast<char*>(buffer(length + 1));
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(u8() | 1); // never the zero byte
    text[length] = '\0';
    return text;
}

char* Args::textOut(std::size_t size)
{
    char* text = out<char>(size);
    if (text)
        texts_.emplace_back(text, size);
    return text;
}

std::uint8_t* Args::inOut(std::size_t size)
{
    return const_cast<std::uint8_t*>(in(size));
}

void Args::check(std::int32_t code) const
{
    if (code > 0 || code < LVRM_ERR_CONNECTION_LOST)
        std::abort();
    for (const auto& [text, size] : texts_)
        if (std::memchr(text, 0, size) == nullptr)
            std::abort();
}

std::span<const Call> allCalls()
{
    static const std::vector<Call> calls = [] {
        std::vector<Call> all;
        for (const auto table : {fenoCalls(), orbaCalls(), taluCalls(), girmCalls()})
            all.insert(all.end(), table.begin(), table.end());
        return all;
    }();
    return calls;
}

int runInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const Call> calls = allCalls();
    if (size < 2)
        return 0;
    const Call& call = calls[data[0] % calls.size()];
    const std::size_t argumentCount = std::min<std::size_t>(data[1], size - 2);
    resetLink();
    Args args({data + 2, argumentCount});
    line.bytes = {data + 2 + argumentCount, size - 2 - argumentCount};
    call.run(args);
    line.event = nullptr;
    return 0;
}

std::vector<std::uint8_t> recordSeed(std::size_t index, sim::Reader& reader)
{
    resetLink();
    line.reader = &reader;
    Args args({});
    allCalls()[index].run(args);
    std::vector<std::uint8_t> seed{static_cast<std::uint8_t>(index), 0};
    seed.insert(seed.end(), line.recorded.begin(), line.recorded.end());
    resetLink();
    return seed;
}

} // namespace quorvel::fuzz
