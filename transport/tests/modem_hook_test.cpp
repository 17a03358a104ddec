// The test hook that puts an emulated line device in place of a link's modem lines.

#include <gtest/gtest.h>

#include <string>

#include "linvaro.h"
#include "linvaro_testing.h"
#include "platform/event.h"
#include "scripted_peer.h"

using peer::ScriptedPeer;

namespace {

// A line device that records what the host drove and answers with set levels.
struct LineDevice {
    int rts = -1, dtr = -1;
    int cts = 0, dsr = 0;
    std::string calls; // one letter per hook call: R, D, C, S

    LVRM_ModemLinesHooks hooks()
    {
        LVRM_ModemLinesHooks h{};
        h.context = this;
        h.setRTS = [](void* c, int32_t on) -> int32_t {
            auto* d = static_cast<LineDevice*>(c);
            d->calls += 'R';
            d->rts = on;
            return 1;
        };
        h.setDTR = [](void* c, int32_t on) -> int32_t {
            auto* d = static_cast<LineDevice*>(c);
            d->calls += 'D';
            d->dtr = on;
            return 1;
        };
        h.getCTS = [](void* c) -> int32_t {
            auto* d = static_cast<LineDevice*>(c);
            d->calls += 'C';
            return d->cts;
        };
        h.getDSR = [](void* c) -> int32_t {
            auto* d = static_cast<LineDevice*>(c);
            d->calls += 'S';
            return d->dsr;
        };
        return h;
    }
};

class ModemHook : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (std::int32_t h = 1; h <= 16; ++h)
            if (LVRM_IsHandleValid(h) != LVRM_ERR_INVALID_HANDLE)
                LVRM_Close(h);
    }
    platform::Event answered; // outlives the links that may set it
};

} // namespace

TEST_F(ModemHook, AttachedDeviceTakesTheLineCallsAndFramesStillFlow)
{
    auto reader = ScriptedPeer::pty(4);
    reader->answerAll(0x00, {0x2A});
    const std::int32_t h = LVRM_SerialOpen(4, 115200);
    ASSERT_GT(h, 0);
    LineDevice device;
    const LVRM_ModemLinesHooks hooks = device.hooks();
    ASSERT_EQ(LVRM_TestAttachModemLines(h, &hooks), 1);

    EXPECT_EQ(LVRM_SetRTS(h, 1), 1);
    EXPECT_EQ(device.rts, 1);
    EXPECT_EQ(LVRM_SetDTR(h, 5), 1) << "state AND 3 is 1: on";
    EXPECT_EQ(device.dtr, 1);
    EXPECT_EQ(LVRM_SetRTS(h, 4), 1);
    EXPECT_EQ(device.rts, 0);
    EXPECT_EQ(device.calls, "RDR");
    // Handshake and toggle control never reach the device.
    EXPECT_EQ(LVRM_SetRTS(h, 2), 0);
    EXPECT_EQ(LVRM_SetDTR(h, 3), 0);
    EXPECT_EQ(device.calls, "RDR");

    for (int level : {0, 1}) {
        device.dsr = level;
        device.cts = 1 - level;
        EXPECT_EQ(LVRM_GetDSR(h), level);
        EXPECT_EQ(LVRM_GetCTS(h), 1 - level);
    }

    ASSERT_EQ(LVRM_Send(h, ZPX_MODE_ADDR_CRC, 0, 0x10, 0, nullptr, &answered, nullptr, 0), 0);
    ASSERT_TRUE(answered.wait(3000));
    std::uint8_t mode = 0, address = 0, status = 0xEE, length = 0;
    std::uint8_t data[LVRM_ANSWER_DATA_SIZE] = {};
    EXPECT_EQ(LVRM_GetAnswer(h, &mode, &address, &status, &length, data), 0);
    EXPECT_EQ(status, 0x00);
    EXPECT_EQ(length, 1);
    EXPECT_EQ(data[0], 0x2A);
}

TEST_F(ModemHook, MissingHooksAreMissingLines)
{
    auto reader = ScriptedPeer::pty(4);
    const std::int32_t h = LVRM_SerialOpen(4, 115200);
    ASSERT_GT(h, 0);
    LVRM_ModemLinesHooks none{};
    ASSERT_EQ(LVRM_TestAttachModemLines(h, &none), 1);
    EXPECT_EQ(LVRM_SetRTS(h, 1), 0);
    EXPECT_EQ(LVRM_SetDTR(h, 1), 0);
    EXPECT_EQ(LVRM_GetCTS(h), 0);
    EXPECT_EQ(LVRM_GetDSR(h), 0);

    // A device that refuses a setting.
    LVRM_ModemLinesHooks refusing{};
    refusing.setRTS = [](void*, int32_t) -> int32_t { return 0; };
    ASSERT_EQ(LVRM_TestAttachModemLines(h, &refusing), 1);
    EXPECT_EQ(LVRM_SetRTS(h, 1), 0);
}

TEST_F(ModemHook, DetachAndCloseGiveThePortItsOwnLinesBack)
{
    auto reader = ScriptedPeer::pty(4);
    std::int32_t h = LVRM_SerialOpen(4, 115200);
    ASSERT_GT(h, 0);
    LineDevice device;
    device.dsr = 1;
    const LVRM_ModemLinesHooks hooks = device.hooks();
    ASSERT_EQ(LVRM_TestAttachModemLines(h, &hooks), 1);
    ASSERT_EQ(LVRM_GetDSR(h), 1);

    ASSERT_EQ(LVRM_TestAttachModemLines(h, nullptr), 1);
    EXPECT_EQ(LVRM_GetDSR(h), 0) << "a pseudo-terminal has no modem lines";
    EXPECT_EQ(LVRM_SetRTS(h, 1), 0);

    ASSERT_EQ(LVRM_TestAttachModemLines(h, &hooks), 1);
    ASSERT_EQ(LVRM_Close(h), 1);
    const std::size_t callsBefore = device.calls.size();
    h = LVRM_SerialOpen(4, 115200);
    ASSERT_GT(h, 0);
    EXPECT_EQ(LVRM_GetDSR(h), 0);
    EXPECT_EQ(LVRM_SetDTR(h, 1), 0);
    EXPECT_EQ(device.calls.size(), callsBefore) << "a new link starts without the old device";
}

TEST_F(ModemHook, OnlyOpenSerialLinksTakeADevice)
{
    LineDevice device;
    const LVRM_ModemLinesHooks hooks = device.hooks();
    for (std::int32_t bad : {0, -1, 17, 5})
        EXPECT_EQ(LVRM_TestAttachModemLines(bad, &hooks), 0) << bad;

    auto tcpReader = ScriptedPeer::tcp();
    const std::int32_t tcp = LVRM_TCPOpen("127.0.0.1", tcpReader->tcpPort());
    ASSERT_GT(tcp, 0);
    EXPECT_EQ(LVRM_TestAttachModemLines(tcp, &hooks), 0);
    EXPECT_EQ(LVRM_GetDSR(tcp), 0);
    EXPECT_TRUE(device.calls.empty());
}
