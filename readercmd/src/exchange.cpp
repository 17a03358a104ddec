// Links and the command exchange that every reader command performs.

#include "exchange.h"

#include "platform/clock.h"

#include <algorithm>
#include <climits>

namespace quorvel {

namespace {

// One entry per link handle (index 0 unused), with its answer event, from
// library load to unload.
class SettingsTable {
public:
    ~SettingsTable()
    {
        // The transport must not keep signalling our events once they are
        // gone: links opened here and still open are closed first.
        for (std::int32_t handle = 1; handle <= kMaxLinks; ++handle)
            if (entries_[static_cast<std::size_t>(handle)].openedHere)
                LVRM_Close(handle);
    }
    LinkSettings* find(std::int32_t handle)
    {
        return handle >= 1 && handle <= kMaxLinks ? &entries_[static_cast<std::size_t>(handle)] : nullptr;
    }

private:
    std::array<LinkSettings, kMaxLinks + 1> entries_;
};

SettingsTable table;

// A link was opened on handle (or the open failed with -1): reset its entry.
std::int32_t opened(std::int32_t handle)
{
    if (LinkSettings* settings = table.find(handle)) {
        settings->resetToDefaults();
        settings->openedHere = true;
    }
    return handle;
}

std::int32_t run(std::int32_t handle, std::uint8_t command, std::int32_t length, const std::uint8_t* data,
                 std::uint8_t* readerStatus, std::uint8_t* answerLength, std::uint8_t* answerData)
{
    if (const std::int32_t valid = LVRM_IsHandleValid(handle); valid != 0)
        return valid;
    LinkSettings& settings = *table.find(handle);
    // A request that could not go out (an unknown frame mode) is reported as
    // such rather than waited for until the time-out.
    if (const std::int32_t sent = LVRM_Send(handle, settings.frameMode, settings.readerAddress, command, length, data,
                                            &settings.answerEvent, nullptr, 0);
        sent != 0)
        return sent;
    const std::uint64_t deadline = platform::monotonicMs() + settings.timeoutMs;
    std::uint8_t mode = 0, address = 0, status = 0, size = 0;
    for (;;) {
        const std::uint64_t now = platform::monotonicMs();
        const int left = now >= deadline ? 0 : static_cast<int>(std::min<std::uint64_t>(deadline - now, INT_MAX));
        // A line that goes meanwhile sets the event too: the answer is then -9.
        if (LVRM_IsAnswerAvailable(handle) != 1 && !settings.answerEvent.wait(left))
            return QVL_ERR_TIMEOUT;
        const std::int32_t got = LVRM_GetAnswer(handle, &mode, &address, &status, &size, answerData);
        if (got != LVRM_ERR_NOTHING_RECEIVED && got != LVRM_ERR_RECEPTION_IN_PROGRESS) {
            if (got != 0)
                return got;
            break;
        }
        // Woken without an answer: the answer to an earlier request (one
        // sent without waiting, or one that timed out) completed just as this
        // request went out and set the event. Wait on for this one.
        settings.answerEvent.reset();
    }
    if (readerStatus)
        *readerStatus = status;
    if (answerLength)
        *answerLength = size;
    return 0;
}

} // namespace

void LinkSettings::resetToDefaults()
{
    timeoutMs = QVL_DEFAULT_TIMEOUT_MS;
    readerAddress = QVL_DEFAULT_ADDRESS;
    frameMode = QVL_DEFAULT_MODE;
    orbaOutputImage = 0xF0;
    orbaRequestOptionA = 0;
    orbaRequestOptionB = 0;
    orbaMemoryMap = {16, 4};
    programmingInputLevel = 0;
    programmingMode = 0;
    taluUplink = {1, 0};
    taluDownlink = 1;
}

LinkSettings* linkSettings(std::int32_t handle)
{
    return table.find(handle);
}

bool isOpenLink(std::int32_t handle)
{
    return LVRM_IsHandleValid(handle) != LVRM_ERR_INVALID_HANDLE;
}

std::int32_t exchange(std::int32_t handle, std::uint8_t command, std::span<const std::uint8_t> request,
                      Answer& answer)
{
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(request.size(), 255));
    return platform::guarded(QVL_ERR_TIMEOUT, [&] {
        return run(handle, command, length, request.data(), &answer.status, &answer.length, answer.data.data());
    });
}

} // namespace quorvel

using namespace quorvel;

extern "C" {

QVL_API int32_t QVL_GetVersion(void)
{
    return QVL_VERSION;
}

QVL_API int32_t QVL_SerialOpen(int32_t portNumber, int32_t baud)
{
    return platform::guarded(LVRM_OPEN_FAILED, [&] { return opened(LVRM_SerialOpen(portNumber, baud)); });
}

QVL_API int32_t QVL_TCPOpenEx(const char* host, int32_t port, int32_t probe, int32_t probeTimeoutMs,
                              int32_t* roundTripMs)
{
    return platform::guarded(LVRM_OPEN_FAILED, [&] {
        return opened(LVRM_TCPOpenEx(host, port, probe, probeTimeoutMs, roundTripMs));
    });
}

QVL_API int32_t QVL_TCPOpen(const char* host, int32_t port)
{
    return QVL_TCPOpenEx(host, port, 0, 0, nullptr);
}

QVL_API int32_t QVL_Close(int32_t handle)
{
    return platform::guarded(0, [&]() -> std::int32_t {
        const std::int32_t closed = LVRM_Close(handle);
        if (closed == 1)
            table.find(handle)->openedHere = false;
        return closed;
    });
}

QVL_API int32_t QVL_IsHandleValid(int32_t handle)
{
    return LVRM_IsHandleValid(handle);
}

QVL_API int32_t QVL_SetMode(int32_t handle, int32_t mode)
{
    if (!isOpenLink(handle))
        return 0;
    table.find(handle)->frameMode = static_cast<std::uint8_t>(mode);
    return 1;
}

QVL_API int32_t QVL_SetAddress(int32_t handle, int32_t address)
{
    if (!isOpenLink(handle))
        return 0;
    table.find(handle)->readerAddress = static_cast<std::uint8_t>(address);
    return 1;
}

QVL_API int32_t QVL_SetTimeout(int32_t handle, uint32_t timeoutMs)
{
    if (!isOpenLink(handle))
        return 0;
    table.find(handle)->timeoutMs = timeoutMs;
    return 1;
}

QVL_API int32_t QVL_CmdExec(int32_t handle, int32_t command, int32_t length, const uint8_t* data,
                            uint8_t* readerStatus, uint8_t* answerLength, uint8_t* answerData)
{
    return platform::guarded(QVL_ERR_TIMEOUT, [&] {
        return run(handle, static_cast<std::uint8_t>(command), length, data, readerStatus, answerLength, answerData);
    });
}

QVL_API int32_t QVL_IdentifyReaderOnNetwork(int32_t handle, char* text, uint8_t* firstId, uint8_t* secondId,
                                            uint8_t* readerStatus)
{
    Answer answer;
    if (const std::int32_t result = exchange(handle, 0x60, {}, answer); result != 0)
        return result;
    if (readerStatus)
        *readerStatus = answer.status;
    if (text)
        text[0] = '\0';
    if (firstId)
        *firstId = 0;
    if (secondId)
        *secondId = 0;
    const std::size_t length = answer.length;
    if (length >= 2) {
        if (firstId)
            *firstId = answer.data[0];
        if (secondId)
            *secondId = answer.data[1];
    }
    if (length >= 3 && text) {
        std::size_t n = 0;
        for (std::size_t i = 2; i < length && answer.data[i] != 0; ++i)
            text[n++] = static_cast<char>(answer.data[i]);
        text[n] = '\0';
    }
    return 0;
}

} // extern "C"
