// The frame exports: sending a request, collecting its answer, block lists,
// error texts and the version.

#include <algorithm>
#include <cstring>

#include "link.h"
#include "linvaro.h"
#include "platform/guard.h"

using namespace linvaro;

namespace {

struct ErrorText {
    std::int32_t code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {LVRM_OK, "No error"},
    {LVRM_ERR_UNKNOWN_MODE, "Unknown ZPX mode"},
    {LVRM_ERR_WRONG_CRC, "Wrong CRC"},
    {LVRM_ERR_NOTHING_RECEIVED, "Nothing received"},
    {LVRM_ERR_INCOMPLETE_ANSWER, "Incomplete answer"},
    {LVRM_ERR_RECEPTION_IN_PROGRESS, "Frame reception in progress"},
    {LVRM_ERR_WRONG_BLOCK_FORMAT, "Wrong block format"},
    {LVRM_ERR_INVALID_HANDLE, "Invalid Handle"},
    {LVRM_ERR_CONNECTION_LOST, "Connection lost"},
};

constexpr bool textsFit()
{
    for (const auto& e : kErrorTexts)
        if (std::char_traits<char>::length(e.text) + 1 > LVRM_ERROR_STRING_SIZE)
            return false;
    return true;
}
static_assert(textsFit(), "every error text fits the caller's 28-byte buffer");

std::int32_t sendRequest(std::int32_t handle, std::int32_t mode, std::int32_t address, std::int32_t command,
                         std::int32_t length, const std::uint8_t* data, void* answerEvent,
                         const LVRM_NotifyWindow* window, std::uint32_t message)
{
    const auto link = findLink(handle);
    if (!link)
        return LVRM_ERR_INVALID_HANDLE;
    if (!link->connected.load(std::memory_order_acquire))
        return LVRM_ERR_CONNECTION_LOST;
    const auto size = static_cast<std::size_t>(length & 0xFF);
    if (size > 0 && !data)
        return LVRM_ERR_UNKNOWN_MODE;
    std::array<std::uint8_t, kMaxFrame> frame;
    const std::size_t frameLength = buildFrame(static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(address),
                                               static_cast<std::uint8_t>(command), {data, size}, frame);
    if (frameLength == 0)
        return LVRM_ERR_UNKNOWN_MODE; // nothing sent, the link untouched

    // The caller's event is reset before the status, so that an answer
    // completing from here on sets it again.
    auto* event = static_cast<platform::Event*>(answerEvent);
    link->answerEvent.store(event, std::memory_order_seq_cst);
    if (event)
        event->reset();
    // The line may have gone while the event was being reset, its wake-up lost.
    if (!link->connected.load(std::memory_order_seq_cst))
        return LVRM_ERR_CONNECTION_LOST;
    const bool notifies = window && window->loop && window->proc;
    link->notifyLoop.store(notifies ? window->loop : nullptr, std::memory_order_release);
    link->notifyProc.store(notifies ? window->proc : nullptr, std::memory_order_release);
    link->notifyContext.store(notifies ? window->context : nullptr, std::memory_order_release);
    link->notifyMessage.store(message, std::memory_order_release);

    link->answer.beginRequest(static_cast<std::uint8_t>(mode));
    if (link->kind == LinkKind::Serial)
        link->port.purge(true, false); // nothing received before this request can be its answer

    link->sendBuffer.put(std::span(frame).first(frameLength));
    link->sendRequest.set();
    return LVRM_OK;
}

std::int32_t takeAnswer(std::int32_t handle, std::uint8_t* mode, std::uint8_t* address, std::uint8_t* command,
                        std::uint8_t* length, std::uint8_t* data)
{
    const auto link = findLink(handle);
    if (!link)
        return LVRM_ERR_INVALID_HANDLE;
    if (!link->connected.load(std::memory_order_acquire))
        return LVRM_ERR_CONNECTION_LOST;
    return link->answer.take(mode, address, command, length, data);
}

bool answerWaiting(std::int32_t handle)
{
    const auto link = findLink(handle);
    if (!link || !link->connected.load(std::memory_order_acquire))
        return false;
    const std::int32_t status = link->answer.status();
    return status != kNothingReceived && status != kReceptionInProgress;
}

bool copyErrorText(std::int32_t code, char* buffer)
{
    if (!buffer)
        return false;
    for (const auto& e : kErrorTexts) {
        if (e.code == code) {
            std::memcpy(buffer, e.text, std::strlen(e.text) + 1);
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" {

LVRM_API int32_t LVRM_Send(int32_t handle, int32_t mode, int32_t address, int32_t command, int32_t length,
                           const uint8_t* data, void* answerEvent, const LVRM_NotifyWindow* window,
                           uint32_t message)
{
    return platform::guarded(LVRM_ERR_UNKNOWN_MODE, [&] {
        return sendRequest(handle, mode, address, command, length, data, answerEvent, window, message);
    });
}

LVRM_API int32_t LVRM_GetAnswer(int32_t handle, uint8_t* mode, uint8_t* address, uint8_t* command,
                                uint8_t* length, uint8_t* data)
{
    return platform::guarded(LVRM_ERR_NOTHING_RECEIVED,
                             [&] { return takeAnswer(handle, mode, address, command, length, data); });
}

LVRM_API int32_t LVRM_IsAnswerAvailable(int32_t handle)
{
    return platform::guarded(0, [&] { return answerWaiting(handle) ? 1 : 0; });
}

LVRM_API int32_t LVRM_GetNbBlocks(const uint8_t* data, int32_t size)
{
    return platform::guarded(LVRM_ERR_WRONG_BLOCK_FORMAT, [&] { return countBlocks(data, size); });
}

LVRM_API int32_t LVRM_GetBlock(const uint8_t* data, int32_t size, int32_t index, uint8_t* destination,
                               uint32_t* blockLength)
{
    return platform::guarded(0, [&] { return copyBlock(data, size, index, destination, blockLength) ? 1 : 0; });
}

LVRM_API int32_t LVRM_GetErrorString(int32_t code, char* buffer)
{
    return platform::guarded(0, [&] { return copyErrorText(code, buffer) ? 1 : 0; });
}

LVRM_API int32_t LVRM_GetVersion(void)
{
    return LVRM_VERSION;
}

} // extern "C"
