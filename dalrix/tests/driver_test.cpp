// The real Dalrix.so, bound by name, against scripted peers on
// pseudo-terminals: the bytes it sends, what it makes of the bytes it gets,
// its time limits, stream inventories, re-entrant calls and its ports.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dalrix_api.h"
#include "platform/clock.h"
#include "platform/loop.h"
#include "platform/serial.h"
#include "pty_peer.h"
#include "simulated_reader.h"

using dalrix_test::Bytes;
using dalrix_test::Chunk;
using dalrix_test::dalrix;
using dalrix_test::hex;
using dalrix_test::PortFolder;
using dalrix_test::Reply;
using dalrix_test::ScriptedPeer;
using dalrix_test::withCrc;

namespace {

constexpr int kRequestWaitMs = 3000;
const std::array<std::uint8_t, 8> kUid = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

// An answer frame from reader address 0: Len, address, status, data, CRC.
Bytes answer(std::uint8_t status, const Bytes& data = {}, std::uint8_t address = 0x00)
{
    Bytes frame{static_cast<std::uint8_t>(data.size() + 4), address, status};
    frame.insert(frame.end(), data.begin(), data.end());
    return withCrc(frame);
}

Bytes concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes tagFrame(std::uint8_t dsfid, std::uint8_t lastUidByte)
{
    Bytes data{dsfid, 1, 2, 3, 4, 5, 6, 7, lastUidByte};
    return answer(0x00, data);
}

// Reader information data: version 01 02, two bytes not passed on, info A 05,
// info B 06 07, scan time.
Bytes readerInformation(std::uint8_t scanTime, std::uint8_t address = 0x00)
{
    return answer(0x00, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, scanTime}, address);
}

const Bytes kSuccess{0x04, 0x00, 0x00, 0x52, 0x5A};
const Bytes kStatus1{0x04, 0x00, 0x01, 0xDB, 0x4B};

struct Stopwatch {
    std::uint64_t startUs = platform::monotonicUs();
    std::uint64_t ms() const { return (platform::monotonicUs() - startUs) / 1000; }
};

} // namespace

TEST(DalrixExports, AllResolveByName)
{
    const char* names[] = {
        // the 44 the tag mapping library binds, in its order
        "AutoOpenComPort", "OpenComPort", "CloseComPort", "CloseSpecComPort", "GetReaderInformation", "OpenRf",
        "CloseRf", "WriteComAdr", "WriteInventoryScanTime", "SetGeneralOutput", "GetGeneralInput", "SetRelay",
        "SetActiveANT", "GetANTStatus", "SetUserDefinedBlockLength", "GetUserDefinedBlocklength", "SetScanMode",
        "GetScanModeStatus", "ReadScanModeData", "SetAccessTime", "GetAccessTime", "SetReceiveChannel",
        "GetReceiveChannelStatus", "SetParseMode", "GetParseMode", "Inventory", "StayQuiet", "ReadSingleBlock",
        "WriteSingleBlock", "LockBlock", "ReadMultipleBlock", "Select", "ResetToReady", "WriteAFI", "LockAFI",
        "WriteDSFID", "LockDSFID", "GetSystemInformation", "CustomizedReadSingleBlock",
        "CustomizedWriteSingleBlock", "CustomizedReadMultipleBlock", "TransparentRead", "TransparentWrite",
        "TransparentCustomizedCmd",
        // and the two it leaves out
        "SetActiveANT_2", "GetANTStatus_2"};
    static_assert(std::size(names) == 46);
    ASSERT_TRUE(dalrix().library.isOpen()) << dalrix().library.error();
    for (const char* name : names)
        EXPECT_NE(dalrix().library.symbol(name), nullptr) << name;
    EXPECT_TRUE(dalrix().complete()) << "missing: " << dalrix().missing;
    EXPECT_EQ(dalrix().library.symbol("TfrmComPort"), nullptr);
}

// ---- with a reader on COM1, opened through the driver ----

class Driver : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dalrix().complete()) << dalrix().library.error() << dalrix().missing;
        peer_ = std::make_unique<ScriptedPeer>(ports_, 1);
        peer_->queue(readerInformation(30)); // the stream window back to 3000 ms
        std::uint8_t any = 0xFF;
        ASSERT_EQ(dalrix().OpenComPort(0, &any), 0);
        ASSERT_EQ(any, 0x00);
        ASSERT_TRUE(peer_->nextRequest(kRequestWaitMs));
    }
    void TearDown() override { dalrix().CloseComPort(); }

    Bytes takeRequest()
    {
        auto request = peer_->nextRequest(kRequestWaitMs);
        EXPECT_TRUE(request) << "no request reached the reader";
        return request.value_or(Bytes{});
    }

    // Sets the stream window to 100 x scanTime ms through a reader-information answer.
    void setScanTime(std::uint8_t scanTime)
    {
        peer_->queue(readerInformation(scanTime));
        std::uint8_t version[2], infoA, infoB[2], scan;
        ASSERT_EQ(dalrix().GetReaderInformation(&address_, version, &infoA, infoB, &scan), 0);
        takeRequest();
    }

    PortFolder ports_;
    std::unique_ptr<ScriptedPeer> peer_;
    std::uint8_t address_ = 0x00;
};

// ---- requests, byte for byte ----

struct RequestCase {
    const char* name;
    std::function<int32_t()> call;
    Bytes frame;
};

namespace {

std::uint8_t a0 = 0x00;
const std::uint8_t* uid = kUid.data();

// The address of a byte holding v, for the arguments passed by pointer.
const std::uint8_t* ptr(std::uint8_t v)
{
    static const std::array<std::uint8_t, 256> values = [] {
        std::array<std::uint8_t, 256> all{};
        for (int i = 0; i < 256; ++i)
            all[i] = static_cast<std::uint8_t>(i);
        return all;
    }();
    return &values[v];
}

std::uint8_t out[512];
std::uint8_t out2[512];
std::uint8_t err;

Bytes withUid(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), kUid.begin(), kUid.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return withCrc(head);
}

std::vector<RequestCase> requestCases()
{
    auto& d = dalrix();
    static const std::uint8_t scanMode[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    static const std::uint8_t block8[8] = {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7};
    static const std::uint8_t eas[3] = {0x03, 0xA5, 0x04};
    static const std::uint8_t easSet[3] = {0x03, 0xA2, 0x04};
    static const std::uint8_t writeParameters[4] = {0x00, 0x44, 0x00, 0x00};
    static const std::uint8_t customParameters[2] = {0x01, 0x02};
    static const std::uint8_t customData[3] = {0xAA, 0xBB, 0xCC};
    return {
        {"GetReaderInformation", [&] { return d.GetReaderInformation(&a0, out, out, out, out); },
         withCrc({0x05, 0x00, 0x00, 0xF0})},
        {"OpenRf", [&] { return d.OpenRf(&a0); }, {0x05, 0x00, 0x02, 0xF0, 0x49, 0xA9}},
        {"CloseRf", [&] { return d.CloseRf(&a0); }, {0x05, 0x00, 0x01, 0xF0, 0x21, 0x83}},
        {"WriteComAdr", [&] { return d.WriteComAdr(&a0, ptr(7)); }, withCrc({0x06, 0x00, 0x03, 0xF0, 0x07})},
        {"WriteInventoryScanTime", [&] { return d.WriteInventoryScanTime(&a0, ptr(10)); },
         withCrc({0x06, 0x00, 0x04, 0xF0, 0x0A})},
        {"SetGeneralOutput", [&] { return d.SetGeneralOutput(&a0, ptr(1)); }, withCrc({0x06, 0x00, 0x05, 0xF0, 0x01})},
        {"GetGeneralInput", [&] { return d.GetGeneralInput(&a0, out); }, withCrc({0x05, 0x00, 0x06, 0xF0})},
        {"SetRelay", [&] { return d.SetRelay(&a0, ptr(2)); }, withCrc({0x06, 0x00, 0x07, 0xF0, 0x02})},
        {"SetActiveANT", [&] { return d.SetActiveANT(&a0, ptr(3)); }, withCrc({0x06, 0x00, 0x08, 0xF0, 0x03})},
        {"GetANTStatus", [&] { return d.GetANTStatus(&a0, out); }, withCrc({0x05, 0x00, 0x09, 0xF0})},
        {"SetScanMode", [&] { return d.SetScanMode(&a0, scanMode); },
         withCrc({0x10, 0x00, 0x0A, 0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})},
        {"GetScanModeStatus", [&] { return d.GetScanModeStatus(&a0, out); }, withCrc({0x05, 0x00, 0x0B, 0xF0})},
        {"SetActiveANT_2", [&] { return d.SetActiveANT_2(&a0, ptr(4)); }, withCrc({0x06, 0x00, 0x0C, 0xF0, 0x04})},
        {"GetANTStatus_2", [&] { return d.GetANTStatus_2(&a0, out); }, withCrc({0x05, 0x00, 0x0D, 0xF0})},
        {"SetAccessTime", [&] { return d.SetAccessTime(&a0, ptr(5)); }, withCrc({0x06, 0x00, 0x0C, 0xF0, 0x05})},
        {"GetAccessTime", [&] { return d.GetAccessTime(&a0, out); }, withCrc({0x05, 0x00, 0x0D, 0xF0})},
        {"SetReceiveChannel", [&] { return d.SetReceiveChannel(&a0, ptr(6)); },
         withCrc({0x06, 0x00, 0x0E, 0xF0, 0x06})},
        {"GetReceiveChannelStatus", [&] { return d.GetReceiveChannelStatus(&a0, out); },
         withCrc({0x05, 0x00, 0x0F, 0xF0})},
        {"SetParseMode", [&] { return d.SetParseMode(&a0, ptr(1)); }, withCrc({0x06, 0x00, 0x70, 0xF0, 0x01})},
        {"GetParseMode", [&] { return d.GetParseMode(&a0, out); }, withCrc({0x05, 0x00, 0x71, 0xF0})},
        {"SetUserDefinedBlockLength", [&] { return d.SetUserDefinedBlockLength(&a0, ptr(8)); },
         withCrc({0x06, 0x00, 0x80, 0xF0, 0x08})},
        {"GetUserDefinedBlocklength", [&] { return d.GetUserDefinedBlocklength(&a0, out); },
         withCrc({0x05, 0x00, 0x90, 0xF0})},
        {"Inventory type 0", [&] { return d.Inventory(&a0, ptr(0), ptr(0x91), out, out2); },
         withCrc({0x05, 0x00, 0x01, 0x00})},
        {"Inventory type 1", [&] { return d.Inventory(&a0, ptr(1), ptr(0x91), out, out2); },
         withCrc({0x06, 0x00, 0x01, 0x01, 0x91})},
        {"Inventory type 2", [&] { return d.Inventory(&a0, ptr(2), ptr(0x91), out, out2); },
         withCrc({0x05, 0x00, 0x01, 0x02})},
        {"Inventory type 3", [&] { return d.Inventory(&a0, ptr(3), ptr(0x92), out, out2); },
         withCrc({0x06, 0x00, 0x01, 0x03, 0x92})},
        {"Inventory type 6", [&] { return d.Inventory(&a0, ptr(6), ptr(0x91), out, out2); },
         {0x05, 0x00, 0x01, 0x06, 0x98, 0x11}},
        {"Inventory type 7", [&] { return d.Inventory(&a0, ptr(7), ptr(0x07), out, out2); },
         {0x06, 0x00, 0x01, 0x07, 0x07, 0x7B, 0x68}},
        {"StayQuiet", [&] { return d.StayQuiet(&a0, uid, &err); }, withUid({0x0D, 0x00, 0x02, 0x00}, {})},
        {"StayQuiet without UID", [&] { return d.StayQuiet(&a0, nullptr, &err); }, withCrc({0x05, 0x00, 0x02, 0x00})},
        {"Select", [&] { return d.Select(&a0, uid, &err); }, withUid({0x0D, 0x00, 0x25, 0x00}, {})},
        {"ReadSingleBlock addressed", [&] { return d.ReadSingleBlock(&a0, ptr(0), uid, 3, out, out2, &err); },
         {0x0E, 0x00, 0x20, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x03, 0xD8, 0x01}},
        {"ReadSingleBlock state 1", [&] { return d.ReadSingleBlock(&a0, ptr(1), uid, 3, out, out2, &err); },
         {0x06, 0x00, 0x20, 0x01, 0x03, 0x68, 0x23}},
        {"WriteSingleBlock state 0", [&] { return d.WriteSingleBlock(&a0, ptr(0), uid, 2, block8, &err); },
         withUid({0x12, 0x00, 0x21, 0x00}, {0x02, 0xD0, 0xD1, 0xD2, 0xD3})},
        {"WriteSingleBlock state 12", [&] { return d.WriteSingleBlock(&a0, ptr(12), uid, 2, block8, &err); },
         withUid({0x16, 0x00, 0x21, 0x0C}, {0x02, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7})},
        {"WriteSingleBlock state 13", [&] { return d.WriteSingleBlock(&a0, ptr(13), uid, 2, block8, &err); },
         withCrc({0x0E, 0x00, 0x21, 0x0D, 0x02, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7})},
        {"WriteSingleBlock state 1", [&] { return d.WriteSingleBlock(&a0, ptr(1), nullptr, 2, block8, &err); },
         withCrc({0x0A, 0x00, 0x21, 0x01, 0x02, 0xD0, 0xD1, 0xD2, 0xD3})},
        {"LockBlock", [&] { return d.LockBlock(&a0, ptr(1), uid, 5, &err); }, withCrc({0x06, 0x00, 0x22, 0x01, 0x05})},
        {"ReadMultipleBlock", [&] { return d.ReadMultipleBlock(&a0, ptr(0), uid, 0, 8, out, out2, &err); },
         withUid({0x0F, 0x00, 0x23, 0x00}, {0x00, 0x08})},
        {"ResetToReady", [&] { return d.ResetToReady(&a0, ptr(0), uid, &err); }, withUid({0x0D, 0x00, 0x26, 0x00}, {})},
        {"WriteAFI", [&] { return d.WriteAFI(&a0, ptr(1), nullptr, 0x91, &err); },
         withCrc({0x06, 0x00, 0x27, 0x01, 0x91})},
        {"LockAFI", [&] { return d.LockAFI(&a0, ptr(8), uid, &err); }, withUid({0x0D, 0x00, 0x28, 0x08}, {})},
        {"WriteDSFID", [&] { return d.WriteDSFID(&a0, ptr(0xA0), uid, 0x33, &err); },
         withUid({0x0E, 0x00, 0x29, 0xA0}, {0x33})},
        {"LockDSFID", [&] { return d.LockDSFID(&a0, ptr(2), uid, &err); }, withCrc({0x05, 0x00, 0x2A, 0x02})},
        {"GetSystemInformation",
         [&] { return d.GetSystemInformation(&a0, ptr(0xA8), uid, out, out, out, out, out, out, &err); },
         withUid({0x0D, 0x00, 0x2B, 0xA8}, {})},
        {"CustomizedReadSingleBlock", [&] { return d.CustomizedReadSingleBlock(&a0, ptr(4), uid, 1, out, &err); },
         withUid({0x0E, 0x00, 0x20, 0x04}, {0x01})},
        {"CustomizedWriteSingleBlock",
         [&] { return d.CustomizedWriteSingleBlock(&a0, ptr(1), uid, 9, customData, 3, &err); },
         withCrc({0x09, 0x00, 0x21, 0x01, 0x09, 0xAA, 0xBB, 0xCC})},
        {"CustomizedReadMultipleBlock",
         [&] { return d.CustomizedReadMultipleBlock(&a0, ptr(1), uid, 2, 3, out, &err); },
         withCrc({0x07, 0x00, 0x23, 0x01, 0x02, 0x03})},
        {"TransparentRead (EAS alarm query)", [&] { return d.TransparentRead(&a0, 0x23, 3, eas, out, out2, &err); },
         withCrc({0x09, 0x00, 0x02, 0xE0, 0x23, 0x03, 0xA5, 0x04})},
        {"TransparentWrite (EAS set)",
         [&] { return d.TransparentWrite(&a0, writeParameters, 3, 3, easSet, out, out2, &err); },
         withCrc({0x0D, 0x00, 0x03, 0xE0, 0x00, 0x44, 0x00, 0x00, 0x03, 0x03, 0xA2, 0x04})},
        {"TransparentCustomizedCmd",
         [&] { return d.TransparentCustomizedCmd(&a0, customParameters, 5, 2, customData, out, out2, &err); },
         withCrc({0x0A, 0x00, 0x04, 0xE0, 0x01, 0x02, 0x05, 0xAA, 0xBB})},
    };
}

} // namespace

TEST_F(Driver, SendsEveryRequestByteForByte)
{
    // Status 1 ends every exchange at once, streams included.
    peer_->respondWith([](const Bytes&) { return Reply{Chunk{0, kStatus1}}; });
    std::size_t sent = 0;
    for (const RequestCase& c : requestCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), 1);
        const auto request = peer_->nextRequest(kRequestWaitMs);
        ASSERT_TRUE(request);
        EXPECT_EQ(hex(*request), hex(c.frame));
        ++sent;
    }
    EXPECT_EQ(sent, 51u);
    EXPECT_FALSE(peer_->nextRequest(0)) << "one request per call";
}

TEST_F(Driver, RefusesRequestsOver256BytesWithoutSending)
{
    std::uint8_t data[255] = {};
    std::uint8_t length = 0, answerBytes[256], err = 0;
    // 4 + 1 + 250 + 2 = 257 bytes.
    EXPECT_EQ(dalrix().TransparentRead(&address_, 0x23, 250, data, &length, answerBytes, &err), DRV_LENGTH_ERROR);
    // 4 + 8 + 1 + 242 + 2 = 257 bytes with the UID, 249 without.
    EXPECT_EQ(dalrix().CustomizedWriteSingleBlock(&address_, ptr(0), uid, 1, data, 242, &err), DRV_LENGTH_ERROR);
    EXPECT_EQ(peer_->requestCount(), 1u) << "only the open's request reached the reader";
    peer_->queue(kSuccess);
    EXPECT_EQ(dalrix().CustomizedWriteSingleBlock(&address_, ptr(1), uid, 1, data, 242, &err), 0);
    EXPECT_EQ(takeRequest().size(), 249u);
}

TEST_F(Driver, MissingInputsFailWithoutSending)
{
    std::uint8_t value = 0, err = 0xEE, count = 0xEE, list[9];
    const std::uint8_t state = 0;
    EXPECT_EQ(dalrix().OpenRf(nullptr), DRV_NO_ANSWER);
    EXPECT_EQ(dalrix().SetRelay(&address_, nullptr), DRV_NO_ANSWER);
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, nullptr, uid, 0, &value, list, &err), DRV_NO_ANSWER);
    EXPECT_EQ(dalrix().WriteSingleBlock(&address_, &state, uid, 0, nullptr, &err), DRV_NO_ANSWER);
    EXPECT_EQ(dalrix().TransparentRead(&address_, 0x23, 3, nullptr, &value, list, &err), DRV_NO_ANSWER);
    EXPECT_EQ(dalrix().Inventory(&address_, ptr(1), nullptr, list, &count), DRV_NO_ANSWER);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(dalrix().OpenComPort(0, nullptr), DRV_NO_ANSWER);
    EXPECT_EQ(peer_->requestCount(), 1u) << "only the open's request reached the reader";
    // Outputs the caller does not want may be null.
    peer_->queue(answer(0x00, {0x01, 1, 2, 3, 4}));
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &state, uid, 0, nullptr, nullptr, nullptr), 0);
}

// ---- answers ----

TEST_F(Driver, SuccessWithoutDataAndStatus0FWithErrorCode)
{
    std::uint8_t err = 0xAA;
    peer_->queue(kSuccess);
    EXPECT_EQ(dalrix().Select(&address_, uid, &err), 0);
    EXPECT_EQ(err, 0x00);

    peer_->queue(Bytes{0x05, 0x00, 0x0F, 0x10, 0x3F, 0xFE});
    EXPECT_EQ(dalrix().Select(&address_, uid, &err), 0x0F);
    EXPECT_EQ(err, 0x10);

    // A silent reader leaves the last answer, and so its error code, as it was.
    err = 0xAA;
    EXPECT_EQ(dalrix().Select(&address_, uid, &err), DRV_NO_ANSWER);
    EXPECT_EQ(err, 0x10);

    // Any other status is the result and writes no output.
    std::uint8_t security = 0xAA, block[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    peer_->queue(answer(0x01, {0x00, 1, 2, 3, 4}));
    EXPECT_EQ(dalrix().ReadSingleBlock(&address_, ptr(0), uid, 0, &security, block, &err), 0x01);
    EXPECT_EQ(security, 0xAA);
    EXPECT_EQ(hex(block), "AA AA AA AA");
    EXPECT_EQ(err, 0x00);
}

TEST_F(Driver, ReaderInformationIsWrittenOnlyOnSuccess)
{
    std::uint8_t address = 0xFF, version[2] = {}, infoA = 0, infoB[2] = {}, scanTime = 0;
    peer_->queue(readerInformation(12, 0x05));
    EXPECT_EQ(dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime), 0);
    EXPECT_EQ(address, 0x05);
    EXPECT_EQ(hex(version), "01 02");
    EXPECT_EQ(infoA, 0x05);
    EXPECT_EQ(hex(infoB), "06 07");
    EXPECT_EQ(scanTime, 12);

    const auto untouched = [&] {
        return address == 0xFF && infoA == 0xEE && scanTime == 0xEE && hex(version) == "EE EE";
    };
    for (const Bytes& bad : {answer(0x00, {1, 2, 3, 4, 5, 6, 7}, 0x05), answer(0x01, {1, 2, 3, 4, 5, 6, 7, 8}, 0x05),
                             Bytes{}}) {
        SCOPED_TRACE(hex(bad));
        address = 0xFF;
        infoA = scanTime = 0xEE;
        version[0] = version[1] = 0xEE;
        if (!bad.empty())
            peer_->queue(bad);
        const int32_t result = dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime);
        EXPECT_EQ(result, bad.empty() ? DRV_NO_ANSWER : bad[2] == 0 ? DRV_LENGTH_ERROR : 0x01);
        EXPECT_TRUE(untouched());
    }
}

TEST_F(Driver, OneByteQueriesTakeExactlyOneByte)
{
    using Getter = int32_t (*)(uint8_t*, uint8_t*);
    const std::pair<const char*, Getter> getters[] = {
        {"GetGeneralInput", dalrix().GetGeneralInput},
        {"GetANTStatus", dalrix().GetANTStatus},
        {"GetANTStatus_2", dalrix().GetANTStatus_2},
        {"GetUserDefinedBlocklength", dalrix().GetUserDefinedBlocklength},
        {"GetAccessTime", dalrix().GetAccessTime},
        {"GetReceiveChannelStatus", dalrix().GetReceiveChannelStatus},
        {"GetParseMode", dalrix().GetParseMode},
    };
    for (const auto& [name, get] : getters) {
        SCOPED_TRACE(name);
        std::uint8_t value = 0xEE;
        peer_->queue(answer(0x00, {0x5A}));
        EXPECT_EQ(get(&address_, &value), 0);
        EXPECT_EQ(value, 0x5A);
        value = 0xEE;
        peer_->queue(answer(0x00, {0x01, 0x02}));
        EXPECT_EQ(get(&address_, &value), DRV_LENGTH_ERROR);
        EXPECT_EQ(value, 0xEE) << "two bytes leave the output unchanged";
        peer_->queue(answer(0x00));
        EXPECT_EQ(get(&address_, &value), DRV_LENGTH_ERROR);
        EXPECT_EQ(value, 0xEE);
    }
}

TEST_F(Driver, BlockReadsExpectTheBlockSizeOfTheirState)
{
    struct Case {
        std::uint8_t state;
        std::size_t dataBytes;
        int32_t result;
    };
    for (const Case& c : {Case{0, 5, 0}, Case{0, 9, DRV_LENGTH_ERROR}, Case{4, 9, 0}, Case{4, 5, DRV_LENGTH_ERROR},
                          Case{5, 9, 0}, Case{12, 5, 0}, Case{12, 9, DRV_LENGTH_ERROR}, Case{1, 4, DRV_LENGTH_ERROR},
                          Case{1, 6, DRV_LENGTH_ERROR}}) {
        SCOPED_TRACE("state " + std::to_string(c.state) + ", " + std::to_string(c.dataBytes) + " bytes");
        Bytes data{0x01};
        for (std::size_t i = 1; i < c.dataBytes; ++i)
            data.push_back(static_cast<std::uint8_t>(0x10 + i));
        peer_->queue(answer(0x00, data));
        std::uint8_t security = 0xEE, block[8];
        std::fill(std::begin(block), std::end(block), 0xEE);
        EXPECT_EQ(dalrix().ReadSingleBlock(&address_, &c.state, uid, 7, &security, block, nullptr), c.result);
        if (c.result == 0) {
            EXPECT_EQ(security, 0x01);
            EXPECT_EQ(Bytes(block, block + c.dataBytes - 1), Bytes(data.begin() + 1, data.end()));
            EXPECT_EQ(c.dataBytes == 5 ? block[4] : 0, c.dataBytes == 5 ? 0xEE : 0) << "nothing past the block";
        } else {
            EXPECT_EQ(security, 0xEE);
            EXPECT_EQ(block[0], 0xEE);
        }
    }
}

TEST_F(Driver, MultipleBlockReadSplitsStatusesAndBlocks)
{
    Bytes data;
    for (std::uint8_t i = 0; i < 8; ++i)
        data.insert(data.end(), {static_cast<std::uint8_t>(i & 1), i, static_cast<std::uint8_t>(0x10 + i),
                                 static_cast<std::uint8_t>(0x20 + i), static_cast<std::uint8_t>(0x30 + i)});
    ASSERT_EQ(data.size(), 40u);
    std::uint8_t security[8] = {}, blocks[32] = {};
    peer_->queue(answer(0x00, data));
    EXPECT_EQ(dalrix().ReadMultipleBlock(&address_, ptr(0), uid, 0, 8, security, blocks, nullptr), 0);
    EXPECT_EQ(hex(security), "00 01 00 01 00 01 00 01");
    EXPECT_EQ(hex(Bytes(blocks, blocks + 8)), "00 10 20 30 01 11 21 31");
    EXPECT_EQ(blocks[31], 0x37);

    for (std::size_t size : {39u, 41u}) {
        Bytes other = data;
        other.resize(size, 0x00);
        std::fill(std::begin(security), std::end(security), 0xEE);
        peer_->queue(answer(0x00, other));
        EXPECT_EQ(dalrix().ReadMultipleBlock(&address_, ptr(0), uid, 0, 8, security, blocks, nullptr), DRV_LENGTH_ERROR);
        EXPECT_EQ(security[0], 0xEE);
    }
}

TEST_F(Driver, SystemInformationFieldsFollowTheFlags)
{
    std::uint8_t flags, uidOut[8], dsfid, afi, memory[2], ic;
    const auto reset = [&] {
        flags = dsfid = afi = ic = 0xEE;
        std::fill(std::begin(uidOut), std::end(uidOut), 0xEE);
        memory[0] = memory[1] = 0xEE;
    };
    reset();
    peer_->queue(answer(0x00, {0x0F, 8, 7, 6, 5, 4, 3, 2, 1, 0xD5, 0x91, 0x1B, 0x03, 0x01}));
    EXPECT_EQ(dalrix().GetSystemInformation(&address_, ptr(0), uid, &flags, uidOut, &dsfid, &afi, memory, &ic, nullptr),
              0);
    EXPECT_EQ(flags, 0x0F);
    EXPECT_EQ(hex(uidOut), "08 07 06 05 04 03 02 01");
    EXPECT_EQ(dsfid, 0xD5);
    EXPECT_EQ(afi, 0x91);
    EXPECT_EQ(hex(memory), "1B 03");
    EXPECT_EQ(ic, 0x01);

    reset();
    peer_->queue(answer(0x00, {0x00, 8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(dalrix().GetSystemInformation(&address_, ptr(0), uid, &flags, uidOut, &dsfid, &afi, memory, &ic, nullptr),
              0);
    EXPECT_EQ(flags, 0x00);
    EXPECT_EQ(uidOut[0], 0x08);
    EXPECT_TRUE(dsfid == 0xEE && afi == 0xEE && memory[0] == 0xEE && ic == 0xEE) << "fields without their flag";

    reset();
    peer_->queue(answer(0x00, {0x0A, 8, 7, 6, 5, 4, 3, 2, 1, 0x91, 0x01}));
    EXPECT_EQ(dalrix().GetSystemInformation(&address_, ptr(0), uid, &flags, uidOut, &dsfid, &afi, memory, &ic, nullptr),
              0);
    EXPECT_EQ(afi, 0x91);
    EXPECT_EQ(ic, 0x01);
    EXPECT_EQ(dsfid, 0xEE);

    for (const Bytes& short_ : {Bytes{0x00, 8, 7, 6, 5, 4, 3, 2}, Bytes{0x0F, 8, 7, 6, 5, 4, 3, 2, 1, 0xD5}}) {
        reset();
        peer_->queue(answer(0x00, short_));
        EXPECT_EQ(
            dalrix().GetSystemInformation(&address_, ptr(0), uid, &flags, uidOut, &dsfid, &afi, memory, &ic, nullptr),
            DRV_LENGTH_ERROR);
        EXPECT_EQ(flags, 0xEE);
        EXPECT_EQ(dsfid, 0xEE);
    }
}

TEST_F(Driver, CustomizedAndTransparentAnswersAreCopiedWhole)
{
    std::uint8_t data[64], length = 0xEE, err = 0xEE;
    const Bytes six{1, 2, 3, 4, 5, 6};
    peer_->queue(answer(0x00, six));
    EXPECT_EQ(dalrix().CustomizedReadSingleBlock(&address_, ptr(0), uid, 1, data, &err), 0);
    EXPECT_EQ(Bytes(data, data + 6), six);
    peer_->queue(answer(0x00, concat(six, six)));
    EXPECT_EQ(dalrix().CustomizedReadMultipleBlock(&address_, ptr(0), uid, 1, 2, data, &err), 0);
    EXPECT_EQ(Bytes(data, data + 12), concat(six, six));

    const std::uint8_t query[3] = {0x03, 0xA5, 0x04};
    peer_->queue(answer(0x00, {0x00, 0xAB}));
    EXPECT_EQ(dalrix().TransparentRead(&address_, 0x23, 3, query, &length, data, &err), 0);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(hex(Bytes(data, data + 2)), "00 AB");
    peer_->queue(kSuccess);
    const std::uint8_t parameters[4] = {0x00, 0x44, 0x00, 0x00};
    EXPECT_EQ(dalrix().TransparentWrite(&address_, parameters, 3, 3, query, &length, data, &err), 0);
    EXPECT_EQ(length, 0);
    length = 0xEE;
    peer_->queue(Bytes{0x05, 0x00, 0x0F, 0x10, 0x3F, 0xFE});
    EXPECT_EQ(dalrix().TransparentCustomizedCmd(&address_, parameters, 3, 3, query, &length, data, &err), 0x0F);
    EXPECT_EQ(length, 0xEE);
    EXPECT_EQ(err, 0x10);
}

// ---- time limits ----

TEST_F(Driver, SilentReaderGives48AfterAbout800Ms)
{
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 700u);
    EXPECT_LT(watch.ms(), 1400u);
}

TEST_F(Driver, TwoFramesTogetherGive48After1500Ms)
{
    peer_->queue(concat(kSuccess, kSuccess));
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 1400u);
    EXPECT_LT(watch.ms(), 2300u);
}

TEST_F(Driver, StrayByteBeforeTheAnswerGives48After1500Ms)
{
    peer_->queue(concat({0x00}, kSuccess));
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 1400u);
}

TEST_F(Driver, OneChangedByteGives49AtOnce)
{
    for (std::size_t i = 0; i < kSuccess.size(); ++i) {
        SCOPED_TRACE("byte " + std::to_string(i));
        Bytes bad = kSuccess;
        bad[i] ^= i == 0 ? 0x00 : 0x40; // the length byte stays, or the frame is never complete
        if (i == 0)
            continue;
        peer_->queue(Reply{Chunk{100, bad}});
        EXPECT_EQ(dalrix().OpenRf(&address_), DRV_CRC_ERROR);
        const std::uint64_t after = (platform::monotonicUs() - peer_->lastWriteUs()) / 1000;
        EXPECT_LT(after, 100u) << "ms after the last byte";
    }
}

TEST_F(Driver, AnswerIsTakenAsSoonAsItsLastByteArrives)
{
    // The answer in three pieces; the wait must end with the last one, not
    // at the next turn of some polling interval.
    const Bytes frame = answer(0x00, {0x5A});
    peer_->queue(Reply{Chunk{150, Bytes(frame.begin(), frame.begin() + 2)},
                       Chunk{250, Bytes(frame.begin() + 2, frame.begin() + 4)},
                       Chunk{350, Bytes(frame.begin() + 4, frame.end())}});
    std::uint8_t value = 0;
    Stopwatch watch;
    EXPECT_EQ(dalrix().GetGeneralInput(&address_, &value), 0);
    EXPECT_EQ(value, 0x5A);
    EXPECT_GE(watch.ms(), 340u);

    std::vector<std::uint64_t> delaysUs;
    for (int i = 0; i < 9; ++i) {
        peer_->queue(Reply{Chunk{20 + 7 * i, frame}});
        EXPECT_EQ(dalrix().GetGeneralInput(&address_, &value), 0);
        delaysUs.push_back(platform::monotonicUs() - peer_->lastWriteUs());
    }
    std::sort(delaysUs.begin(), delaysUs.end());
    EXPECT_LT(delaysUs[4], 10000u) << "median us from the last byte to the result";
    // A loaded machine may hold one wake-up back; none waits for a time-out.
    EXPECT_LT(delaysUs.back(), 1000000u) << "longest us from the last byte to the result";
}

TEST_F(Driver, LateAnswerDoesNotSpoilTheNextExchange)
{
    peer_->queue(Reply{Chunk{1000, kSuccess}});
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    // The late answer arrives while no one dispatches the thread's events.
    ASSERT_TRUE(peer_->waitForWrites(2, 3000)); // the open's answer, then this one
    peer_->queue(answer(0x00, {0x33}));
    std::uint8_t value = 0;
    Stopwatch watch;
    EXPECT_EQ(dalrix().GetGeneralInput(&address_, &value), 0);
    EXPECT_EQ(value, 0x33);
    EXPECT_LT(watch.ms(), 500u);
}

TEST_F(Driver, LineDyingDuringAWaitEndsItAtOnce)
{
    // The far end goes away while the driver waits: the port reports hang-up
    // from then on, which must neither be taken for bytes nor spin the wait;
    // the wait ends there, and so does every later exchange.
    auto& loop = platform::MessageLoop::current();
    bool hungUp = false;
    const auto timer = loop.setTimer(100, [&](platform::MessageLoop::Id) {
        if (!hungUp)
            peer_->hangUp();
        hungUp = true;
    });
    timespec cpu0{}, cpu1{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu0);
    EXPECT_EQ(dalrix().ComPortConnected(), 1);
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER);
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu1);
    loop.killTimer(timer);
    EXPECT_TRUE(hungUp);
    EXPECT_GE(watch.ms(), 90u);
    EXPECT_LT(watch.ms(), 600u) << "not the 800 ms of a silent reader";
    const double cpuMs = (cpu1.tv_sec - cpu0.tv_sec) * 1e3 + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 300.0) << "the wait must sleep, not spin";
    EXPECT_EQ(dalrix().ComPortConnected(), 0);
    watch = {};
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER) << "and the next call fails at once";
    EXPECT_LT(watch.ms(), 100u);
    EXPECT_EQ(dalrix().CloseComPort(), 0);
    EXPECT_EQ(dalrix().ComPortConnected(), 0);
}

TEST_F(Driver, FirstByteBefore800MsKeepsTheWaitGoingTo1500)
{
    const Bytes frame = answer(0x00, {0x5A});
    peer_->queue(Reply{Chunk{600, Bytes(frame.begin(), frame.begin() + 1)}, Chunk{1200, Bytes(frame.begin() + 1, frame.end())}});
    std::uint8_t value = 0;
    EXPECT_EQ(dalrix().GetGeneralInput(&address_, &value), 0);
    EXPECT_EQ(value, 0x5A);

    peer_->queue(Reply{Chunk{1000, kSuccess}});
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenRf(&address_), DRV_NO_ANSWER) << "nothing by 800 ms ends the wait";
    EXPECT_LT(watch.ms(), 1000u);
}

// ---- inventories ----

namespace {

struct InventoryResult {
    int32_t result;
    std::uint8_t count;
    std::vector<Bytes> entries;
};

InventoryResult inventory(std::uint8_t& address, std::uint8_t type, std::uint8_t afi = 0)
{
    std::uint8_t list[255 * 9];
    std::uint8_t count = 0xEE;
    InventoryResult r{dalrix().Inventory(&address, &type, &afi, list, &count), count, {}};
    for (int i = 0; i < count && count != 0xEE; ++i)
        r.entries.emplace_back(list + i * 9, list + i * 9 + 9);
    return r;
}

} // namespace

TEST_F(Driver, StreamInventoryListsEachTagOnce)
{
    const Bytes tag{0x0D, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x49, 0xFB};
    peer_->queue(concat(tag, kStatus1));
    Stopwatch watch;
    InventoryResult r = inventory(address_, 6);
    EXPECT_LT(watch.ms(), 1000u) << "the closing frame ends the 3100 ms window at once";
    EXPECT_EQ(r.result, 1);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(hex(r.entries[0]), "00 01 02 03 04 05 06 07 08");

    // The same tag twice, in separate pieces: still one entry.
    peer_->queue(Reply{Chunk{0, tag}, Chunk{50, tag}, Chunk{100, kStatus1}});
    r = inventory(address_, 7, 0x07);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.count, 1);

    // Two tags and a repeat in one piece, in order of arrival.
    peer_->queue(concat(concat(tagFrame(0x00, 0x22), tagFrame(0x00, 0x11)), concat(tagFrame(0x00, 0x22), kStatus1)));
    r = inventory(address_, 2);
    EXPECT_EQ(r.result, 1);
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.entries[0][8], 0x22);
    EXPECT_EQ(r.entries[1][8], 0x11);

    // A different DSFID makes a different entry.
    peer_->queue(concat(concat(tagFrame(0x00, 0x22), tagFrame(0x01, 0x22)), kStatus1));
    r = inventory(address_, 3, 0x91);
    EXPECT_EQ(r.count, 2);
}

TEST_F(Driver, StreamEndsWithTheWindowWhenNoClosingFrameComes)
{
    setScanTime(3); // window 300 + 100 ms
    peer_->queue(Reply{Chunk{50, tagFrame(0x00, 0x01)}, Chunk{100, tagFrame(0x00, 0x02)}});
    Stopwatch watch;
    InventoryResult r = inventory(address_, 6);
    EXPECT_EQ(r.result, 0) << "the status of the last frame, a tag";
    EXPECT_EQ(r.count, 2);
    EXPECT_GE(watch.ms(), 350u);
    EXPECT_LT(watch.ms(), 1000u);

    // A damaged frame is dropped and the stream goes on; when it was the last, 49.
    Bytes bad = tagFrame(0x00, 0x03);
    bad[5] ^= 0xFF;
    peer_->queue(Reply{Chunk{0, concat(tagFrame(0x00, 0x01), bad)}});
    r = inventory(address_, 6);
    EXPECT_EQ(r.result, DRV_CRC_ERROR);
    EXPECT_EQ(r.count, 1) << "tags received before are still delivered";

    peer_->queue(concat(concat(bad, tagFrame(0x00, 0x04)), kStatus1));
    r = inventory(address_, 6);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.count, 1);

    // Status 0x0F ends the stream with the error code kept.
    peer_->queue(concat(tagFrame(0x00, 0x05), Bytes{0x05, 0x00, 0x0F, 0x10, 0x3F, 0xFE}));
    r = inventory(address_, 6);
    EXPECT_EQ(r.result, 0x0F);
    EXPECT_EQ(r.count, 1);
}

TEST_F(Driver, SilentStreamGives48After800Ms)
{
    Stopwatch watch;
    InventoryResult r = inventory(address_, 6);
    EXPECT_EQ(r.result, DRV_NO_ANSWER);
    EXPECT_EQ(r.count, 0);
    EXPECT_GE(watch.ms(), 700u);
    EXPECT_LT(watch.ms(), 1400u);
}

TEST_F(Driver, SingleAnswerInventoryTakesExactlyNineBytes)
{
    peer_->queue(tagFrame(0x00, 0x08));
    InventoryResult r = inventory(address_, 0);
    EXPECT_EQ(r.result, 0);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(hex(r.entries[0]), "00 01 02 03 04 05 06 07 08");

    peer_->queue(answer(0x00, {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    r = inventory(address_, 1, 0x91);
    EXPECT_EQ(r.result, DRV_LENGTH_ERROR);
    EXPECT_EQ(r.count, 0);

    peer_->queue(kStatus1);
    r = inventory(address_, 0);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.count, 0);
}

TEST_F(Driver, InventoryTypesWithoutARequestSendNothing)
{
    for (std::uint8_t type : {4, 5, 8}) {
        SCOPED_TRACE("type " + std::to_string(type));
        Stopwatch watch;
        InventoryResult r = inventory(address_, type);
        EXPECT_EQ(r.result, DRV_NO_ANSWER);
        EXPECT_EQ(r.count, 0);
        EXPECT_GE(watch.ms(), 700u);
        EXPECT_LT(watch.ms(), 1400u);
    }
    EXPECT_FALSE(peer_->nextRequest(100));
}

// ---- re-entrant calls ----

TEST_F(Driver, CallsFromATimerTickDuringAWaitGet51)
{
    auto& loop = platform::MessageLoop::current();
    std::vector<int32_t> results;
    std::uint8_t count = 0xEE, list[9 * 4] = {};
    std::int32_t portIndex = -1;
    const auto timer = loop.setTimer(20, [&](platform::MessageLoop::Id) {
        std::uint8_t address = 0x00, value = 0xEE, err = 0xEE;
        results.push_back(dalrix().OpenRf(&address));
        results.push_back(dalrix().GetGeneralInput(&address, &value));
        results.push_back(dalrix().Select(&address, uid, &err));
        results.push_back(dalrix().Inventory(&address, ptr(0), ptr(0), list, &count));
        results.push_back(dalrix().CloseComPort());
        results.push_back(dalrix().OpenComPort(1, &address));
        results.push_back(dalrix().AutoOpenComPort(&portIndex, &address));
        EXPECT_EQ(value, 0xEE);
        EXPECT_EQ(err, 0xEE) << "a refused call writes nothing";
    });
    const Bytes tag = tagFrame(0x00, 0x09);
    peer_->queue(Reply{Chunk{300, tag}});
    InventoryResult r = inventory(address_, 0);
    loop.killTimer(timer);

    EXPECT_EQ(r.result, 0) << "the running exchange is not disturbed";
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.entries[0][8], 0x09);
    ASSERT_GE(results.size(), 7u * 5) << "the timer ticked during the wait";
    for (int32_t result : results)
        EXPECT_EQ(result, DRV_BUSY);
    EXPECT_EQ(count, 0xEE);
    EXPECT_EQ(portIndex, -1);
    EXPECT_EQ(peer_->requestCount(), 2u) << "nothing but the inventory went out";

    // The port is still the open one and the driver is free again.
    peer_->queue(kSuccess);
    EXPECT_EQ(dalrix().OpenRf(&address_), 0);
}

// ---- the scan buffer ----

TEST_F(Driver, ScanBufferHoldsEverythingReceivedSinceTheLastRequest)
{
    std::uint8_t buffer[DALRIX_SCAN_BUFFER_SIZE];
    std::int32_t length = -1;
    peer_->queue(kSuccess);
    ASSERT_EQ(dalrix().OpenRf(&address_), 0);
    EXPECT_EQ(dalrix().ReadScanModeData(buffer, &length), 0);
    EXPECT_EQ(hex(Bytes(buffer, buffer + length)), hex(kSuccess)) << "the last answer, raw";
    EXPECT_EQ(dalrix().ReadScanModeData(buffer, &length), 1);
    EXPECT_EQ(length, 0);

    const std::uint8_t parameters[11] = {};
    peer_->queue(kSuccess);
    ASSERT_EQ(dalrix().SetScanMode(&address_, parameters), 0);
    EXPECT_EQ(dalrix().ReadScanModeData(buffer, &length), 1);
    EXPECT_EQ(length, 0);

    // What the reader sends on its own arrives between calls, while the
    // thread's loop runs (or when the next read asks).
    peer_->send({0xC0, 0xFF, 0xEE});
    peer_->send({0x01, 0x02}, 50);
    Bytes got;
    const bool all = platform::MessageLoop::current().runUntil(
        [&] {
            if (dalrix().ReadScanModeData(buffer, &length) == 0)
                got.insert(got.end(), buffer, buffer + length);
            return got.size() >= 5;
        },
        3000);
    EXPECT_TRUE(all);
    EXPECT_EQ(hex(got), "C0 FF EE 01 02");

    // GetScanModeStatus copies the status and empties the buffer.
    std::uint8_t status[8] = {};
    peer_->queue(answer(0x00, {0x07, 0x08, 0x09}));
    EXPECT_EQ(dalrix().GetScanModeStatus(&address_, status), 0);
    EXPECT_EQ(hex(Bytes(status, status + 3)), "07 08 09");
    EXPECT_EQ(dalrix().ReadScanModeData(buffer, &length), 1);

    // So does a successful SetUserDefinedBlockLength, and no failed one.
    peer_->queue(kSuccess);
    EXPECT_EQ(dalrix().SetUserDefinedBlockLength(&address_, ptr(8)), 0);
    EXPECT_EQ(dalrix().ReadScanModeData(buffer, &length), 1);
    peer_->queue(kStatus1);
    EXPECT_EQ(dalrix().SetUserDefinedBlockLength(&address_, ptr(8)), 1);
    EXPECT_EQ(dalrix().ReadScanModeData(buffer, &length), 0);
    EXPECT_EQ(length, 5);
}

// ---- ports ----

class Ports : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dalrix().complete()); }
    void TearDown() override { dalrix().CloseComPort(); }
    PortFolder ports_;
};

TEST_F(Ports, OpenComPortAsksAnyReaderAndTakesItsAddress)
{
    ScriptedPeer reader(ports_, 3);
    reader.queue(readerInformation(3, 0x00));
    std::uint8_t address = 0xFF;
    EXPECT_EQ(dalrix().OpenComPort(2, &address), 0);
    EXPECT_EQ(address, 0x00);
    const auto request = reader.nextRequest(kRequestWaitMs);
    ASSERT_TRUE(request);
    EXPECT_EQ(hex(*request), "05 FF 00 F0 0A 5C");

    // Its scan time (3) set the stream window to 300 ms.
    reader.queue(tagFrame(0x00, 0x01));
    Stopwatch watch;
    InventoryResult r = inventory(address, 6);
    EXPECT_EQ(r.result, 0);
    EXPECT_LT(watch.ms(), 1500u);
}

TEST_F(Ports, PortWithoutReaderGives48AndStaysOpen)
{
    ScriptedPeer silent(ports_, 3);
    std::uint8_t address = 0xFF;
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenComPort(2, &address), DRV_NO_ANSWER);
    EXPECT_GE(watch.ms(), 700u);
    EXPECT_LT(watch.ms(), 1400u);
    EXPECT_EQ(address, 0xFF);
    EXPECT_FALSE(platform::SerialPort::open(3, 19200).isOpen()) << "the driver still holds COM3";
    EXPECT_EQ(dalrix().CloseSpecComPort(1), DRV_NO_ANSWER) << "another port";
    EXPECT_FALSE(platform::SerialPort::open(3, 19200).isOpen());
    EXPECT_EQ(dalrix().CloseSpecComPort(2), 0);
    EXPECT_TRUE(platform::SerialPort::open(3, 19200).isOpen());
    EXPECT_EQ(dalrix().CloseSpecComPort(2), DRV_NO_ANSWER) << "nothing open";
    EXPECT_EQ(dalrix().CloseComPort(), 0);
}

TEST_F(Ports, MissingPortGives48AtOnce)
{
    std::uint8_t address = 0xFF;
    Stopwatch watch;
    EXPECT_EQ(dalrix().OpenComPort(4, &address), DRV_NO_ANSWER);
    EXPECT_EQ(dalrix().OpenComPort(-1, &address), DRV_NO_ANSWER);
    EXPECT_LT(watch.ms(), 300u);
    EXPECT_EQ(dalrix().OpenRf(&address), DRV_NO_ANSWER) << "no port, no exchange";
    EXPECT_LT(watch.ms(), 300u);
}

// ---- with any reader: a scripted one, and the simulated reader ----

struct ReaderKind {
    const char* name;
    dalrix_test::ReaderFactory make;
};

class AnyReader : public Ports, public ::testing::WithParamInterface<ReaderKind> {};

TEST_P(AnyReader, OpenComPortTakesTheAnsweringAddress)
{
    auto reader = GetParam().make(ports_, 3, 0x00);
    std::uint8_t address = 0xFF, version[2], infoA, infoB[2], scanTime;
    EXPECT_EQ(dalrix().OpenComPort(2, &address), 0);
    EXPECT_EQ(address, 0x00);
    EXPECT_EQ(dalrix().GetReaderInformation(&address, version, &infoA, infoB, &scanTime), 0);
    EXPECT_EQ(dalrix().CloseSpecComPort(2), 0);
}

TEST_P(AnyReader, AutoOpenFindsTheReaderOnTheFourthPort)
{
    std::vector<std::unique_ptr<ScriptedPeer>> silent;
    for (int com = 1; com <= 3; ++com)
        silent.push_back(std::make_unique<ScriptedPeer>(ports_, com));
    auto reader = GetParam().make(ports_, 4, 0x00);
    std::int32_t index = -1;
    std::uint8_t address = 0xFF;
    EXPECT_EQ(dalrix().AutoOpenComPort(&index, &address), 0);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(address, 0x00);
    for (auto& peer : silent) {
        EXPECT_EQ(peer->requestCount(), 1u);
        EXPECT_TRUE(platform::SerialPort::open(peer->com(), 19200).isOpen()) << "COM" << peer->com() << " closed again";
    }
    EXPECT_FALSE(platform::SerialPort::open(4, 19200).isOpen()) << "COM4 stays open";

    dalrix().CloseComPort();
    reader.reset();
    silent.clear();
    index = -1;
    EXPECT_EQ(dalrix().AutoOpenComPort(&index, &address), DRV_NO_ANSWER);
    EXPECT_EQ(index, -1);
}

INSTANTIATE_TEST_SUITE_P(Readers, AnyReader,
                         ::testing::Values(ReaderKind{"Scripted", dalrix_test::scriptedReader},
                                           ReaderKind{"Simulated", dalrix_test::simulatedReader}),
                         [](const auto& info) { return std::string(info.param.name); });
