// Programming the ORBA2 reader's microcontroller through the modem lines of
// its serial link.
//
// The device listens on DTR (data) and RTS (clock) and answers on DSR. One
// bit: the host puts the bit on DTR and pulls RTS low; the device latches it
// and echoes it on DSR; the host lets DTR back up, waits, reads the echo,
// raises RTS, waits and reads the level that tells whether the device expects
// more bits of this transaction. All timing is busy-waited on the calling
// thread, which runs at raised priority while the link is in programming mode.

#include <cstdint>

#include "exchange.h"
#include "linvaro.h"
#include "platform/clock.h"
#include "platform/thread.h"
#include "quorvel_firmware.h"

namespace quorvel {

namespace {

enum Command : std::uint8_t {
    LoadConfiguration = 0x00,
    BulkEraseSetup1 = 0x01,
    LoadDataToProgram = 0x02,
    LoadDataToData = 0x03,
    ReadDataFromProgram = 0x04,
    ReadDataFromData = 0x05,
    IncrementAddress = 0x06,
    BulkEraseSetup2 = 0x07,
    BeginEraseProgrammingCycle = 0x08,
    BeginProgrammingOnlyCycle = 0x18,
};

constexpr unsigned kCommandBits = 6;
constexpr unsigned kWordBits = 16;
constexpr std::uint16_t kWordMask = 0x3FFF;

// Microseconds.
constexpr unsigned kBitHalfUs = 50;
constexpr unsigned kBulkEraseSetupUs = 500;
constexpr unsigned kEraseProgramCycleUs = 10000;
constexpr unsigned kProgramOnlyCycleUs = 5000;
constexpr unsigned kEntryHoldUs = 200000;
constexpr unsigned kEntryPulseUs = 40000;
constexpr unsigned kEntrySettleUs = 10000;
constexpr unsigned kAcknowledgePollUs = 1000;
constexpr int kAcknowledgePolls = 70;
constexpr unsigned kEntryStartUs = 70000;
constexpr unsigned kRestartUs = 500000;

constexpr std::uint16_t kDataMemoryMask = 0xFF;

bool isValid(std::int32_t handle)
{
    return LVRM_IsHandleValid(handle) == LVRM_OK;
}

// The settings of a valid link in programming mode, else nullptr.
LinkSettings* programmingLink(std::int32_t handle)
{
    if (!isValid(handle))
        return nullptr;
    LinkSettings* settings = linkSettings(handle);
    return settings && settings->programmingMode == 1 ? settings : nullptr;
}

// The device's lines on one link in programming mode.
class Lines {
public:
    Lines(std::int32_t handle, LinkSettings& settings) : handle_(handle), settings_(settings) {}

    void dtr(bool on) { LVRM_SetDTR(handle_, on ? 1 : 0); }
    void rts(bool on) { LVRM_SetRTS(handle_, on ? 1 : 0); }
    bool dsr() { return LVRM_GetDSR(handle_) == 1; }

    // One bit with its echo; the level after it is remembered for the link.
    // True when the echo matches the bit.
    bool exchange(bool bit)
    {
        dtr(bit);
        rts(false);
        dtr(true);
        platform::delayUs(kBitHalfUs);
        const bool echo = dsr();
        rts(true);
        platform::delayUs(kBitHalfUs);
        settings_.programmingInputLevel = dsr() ? 1 : 0;
        return echo == bit;
    }

    // Sends count bits of value, least significant first: true when every
    // echo was good, the level stayed 1 up to the last bit and was lastLevel
    // after it. Every bit is clocked out even after a bad one, so that the
    // device is not left halfway through a transaction.
    bool send(unsigned value, unsigned count, int lastLevel)
    {
        dtr(true);
        bool good = true;
        for (unsigned i = 0; i < count; ++i) {
            good &= exchange((value >> i & 1) != 0);
            const int expected = i + 1 < count ? 1 : lastLevel;
            good &= settings_.programmingInputLevel == expected;
        }
        return good;
    }

    bool command(std::uint8_t command)
    {
        return send(command, kCommandBits, followedByData(command) ? 1 : 0);
    }

    // A zero start bit, 14 data bits, a zero stop bit.
    bool sendWord(std::uint16_t value)
    {
        return send(static_cast<unsigned>(value & kWordMask) << 1, kWordBits, 0);
    }

    std::uint16_t receiveWord()
    {
        dtr(true);
        unsigned word = 0;
        for (unsigned i = 0; i < kWordBits; ++i) {
            rts(false);
            platform::delayUs(kBitHalfUs);
            const bool bit = dsr();
            rts(true);
            platform::delayUs(kBitHalfUs);
            settings_.programmingInputLevel = dsr() ? 1 : 0;
            word = word >> 1 | (bit ? 0x8000u : 0u);
        }
        return static_cast<std::uint16_t>(word >> 1 & kWordMask);
    }

private:
    // Load and read commands: 0, 2, 3, 4 and 5.
    static bool followedByData(std::uint8_t command)
    {
        return command <= ReadDataFromData && command != BulkEraseSetup1;
    }

    std::int32_t handle_;
    LinkSettings& settings_;
};

// A command without data, and the device's time to carry it out.
int simpleCommand(std::int32_t handle, std::uint8_t command, unsigned afterUs = 0)
{
    LinkSettings* settings = programmingLink(handle);
    if (!settings || !Lines(handle, *settings).command(command))
        return 0;
    if (afterUs > 0)
        platform::delayUs(afterUs);
    return 1;
}

int loadCommand(std::int32_t handle, std::uint8_t command, std::uint16_t value)
{
    LinkSettings* settings = programmingLink(handle);
    if (!settings)
        return 0;
    Lines lines(handle, *settings);
    return lines.command(command) && lines.sendWord(value) ? 1 : 0;
}

int readCommand(std::int32_t handle, std::uint8_t command, std::uint16_t mask, std::uint16_t* value)
{
    LinkSettings* settings = programmingLink(handle);
    if (!settings)
        return 0;
    Lines lines(handle, *settings);
    if (!lines.command(command))
        return 0;
    const std::uint16_t word = lines.receiveWord();
    if (value)
        *value = word & mask;
    return 1;
}

// The device acknowledges a step of the entry: DSR reads 1, then falls
// within 69 polls 1 ms apart.
bool acknowledged(std::int32_t handle)
{
    if (LVRM_GetDSR(handle) != 1)
        return false;
    int polls = 0;
    while (LVRM_GetDSR(handle) == 1 && polls < kAcknowledgePolls) {
        platform::delayUs(kAcknowledgePollUs);
        ++polls;
    }
    return polls < kAcknowledgePolls;
}

bool enter(std::int32_t handle, LinkSettings& settings)
{
    platform::raiseThreadPriority();
    LVRM_SetRTS(handle, 1);
    platform::delayUs(kEntryHoldUs);
    LVRM_SetDTR(handle, 1);
    platform::delayUs(kEntryPulseUs);
    LVRM_SetDTR(handle, 0);
    platform::delayUs(kEntrySettleUs);
    bool entered = acknowledged(handle);
    if (entered) {
        LVRM_SetRTS(handle, 0);
        platform::delayUs(kEntryPulseUs);
        LVRM_SetRTS(handle, 1);
        platform::delayUs(kEntrySettleUs);
        entered = acknowledged(handle);
    }
    if (!entered) {
        LVRM_SetRTS(handle, 0);
        platform::restoreThreadPriority();
        return false;
    }
    platform::delayUs(kEntryStartUs);
    LVRM_SetDTR(handle, 1);
    settings.programmingMode = 1;
    return true;
}

} // namespace

} // namespace quorvel

using namespace quorvel;

extern "C" {

int ORBA_InitORBA2Programming(int32_t handle)
{
    return platform::guarded(0, [&]() -> int {
        if (!isValid(handle))
            return 0;
        LinkSettings* settings = linkSettings(handle);
        if (settings->programmingMode == 1)
            return 0;
        return enter(handle, *settings) ? 1 : 0;
    });
}

int ORBA_EndORBA2Programming(int32_t handle)
{
    return platform::guarded(0, [&]() -> int {
        if (!isValid(handle))
            return 0;
        LVRM_SetRTS(handle, 0);
        LVRM_SetDTR(handle, 0);
        platform::delayUs(kRestartUs);
        linkSettings(handle)->programmingMode = 0;
        platform::restoreThreadPriority();
        return 1;
    });
}

int ORBA_LoadConfiguration(int32_t handle, uint16_t value)
{
    return platform::guarded(0, [&] { return loadCommand(handle, LoadConfiguration, value); });
}

int ORBA_LoadDataToProgram(int32_t handle, uint16_t value)
{
    return platform::guarded(0, [&] { return loadCommand(handle, LoadDataToProgram, value); });
}

int ORBA_LoadDataToData(int32_t handle, uint16_t value)
{
    return platform::guarded(0, [&] { return loadCommand(handle, LoadDataToData, value & kDataMemoryMask); });
}

int ORBA_ReadDataFromProgram(int32_t handle, uint16_t* value)
{
    return platform::guarded(0, [&] { return readCommand(handle, ReadDataFromProgram, kWordMask, value); });
}

int ORBA_ReadDataFromData(int32_t handle, uint16_t* value)
{
    return platform::guarded(0, [&] { return readCommand(handle, ReadDataFromData, kDataMemoryMask, value); });
}

int ORBA_IncrementAddress(int32_t handle)
{
    return platform::guarded(0, [&] { return simpleCommand(handle, IncrementAddress); });
}

int ORBA_BulkEraseSetup1(int32_t handle)
{
    return platform::guarded(0, [&] { return simpleCommand(handle, BulkEraseSetup1, kBulkEraseSetupUs); });
}

int ORBA_BulkEraseSetup2(int32_t handle)
{
    return platform::guarded(0, [&] { return simpleCommand(handle, BulkEraseSetup2, kBulkEraseSetupUs); });
}

int ORBA_BeginEraseProgrammingCycle(int32_t handle)
{
    return platform::guarded(0, [&] {
        return simpleCommand(handle, BeginEraseProgrammingCycle, kEraseProgramCycleUs);
    });
}

int ORBA_BeginProgrammingOnlyCycle(int32_t handle)
{
    return platform::guarded(0, [&] { return simpleCommand(handle, BeginProgrammingOnlyCycle, kProgramOnlyCycleUs); });
}

int ORBA_EraseCodeProtectedMemory(int32_t handle)
{
    return platform::guarded(0, [&]() -> int {
        if (!isValid(handle) || linkSettings(handle)->programmingMode == 1)
            return 0;
        if (ORBA_InitORBA2Programming(handle) != 1)
            return 0;
        // Load configuration with everything erased, walk to the configuration
        // word (0x2007), then the bulk erase sequence.
        bool erased = ORBA_LoadConfiguration(handle, 0x3FFF) == 1;
        for (int i = 0; erased && i < 7; ++i)
            erased = ORBA_IncrementAddress(handle) == 1;
        erased = erased && ORBA_BulkEraseSetup1(handle) == 1 && ORBA_BulkEraseSetup2(handle) == 1 &&
                 ORBA_BeginEraseProgrammingCycle(handle) == 1 && ORBA_BulkEraseSetup1(handle) == 1 &&
                 ORBA_BulkEraseSetup2(handle) == 1;
        ORBA_EndORBA2Programming(handle);
        return erased ? 1 : 0;
    });
}

} // extern "C"
