// ORBA commands: the exact requests and the answer handling against a
// scripted reader, then the whole family end to end against the simulated
// ORBA reader, both on pseudo-terminals.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "linvaro.h"
#include "quorvel.h"
#include "scripted_reader.h"
#include "simulated_family.h"

using namespace tables_test;
using peer::Request;

namespace {

constexpr int kSimPort = 4;

// E0 04 01 00 12 34 56 78, most significant byte first as callers give it.
constexpr std::array<std::uint8_t, 8> kUid{0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
const Bytes kUidOnAir{0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0};

// Records as the caller's arrays hold them, pre-filled to show what is written.
struct Records {
    std::uint8_t count = 0xEE;
    std::array<std::uint8_t, ORBA_MAX_RECORDS> lengths;
    std::array<std::uint8_t, ORBA_MAX_RECORDS * ORBA_RECORD_SLOT_SIZE> slots;
    std::uint8_t status = 0xEE;
    Records()
    {
        lengths.fill(0xEE);
        slots.fill(0xEE);
    }
    Bytes record(std::size_t i) const
    {
        const auto* start = slots.data() + i * ORBA_RECORD_SLOT_SIZE;
        return Bytes(start, start + lengths[i]);
    }
};

// A single answer as the caller's buffers hold it.
struct Single {
    std::uint8_t length = 0xEE;
    std::array<std::uint8_t, ORBA_MAX_ANSWER> data;
    std::uint8_t status = 0xEE;
    Single() { data.fill(0xEE); }
    Bytes bytes() const { return Bytes(data.begin(), data.begin() + length); }
};

// Against the scripted reader: what goes out, and what comes of each answer.
// Every test has a link of its own, its settings at their defaults.
class OrbaRequests : public ScriptedReader {
protected:
    void SetUp() override
    {
        ScriptedReader::SetUp();
        ASSERT_NO_FATAL_FAILURE(reopen());
        seen = requestCount();
    }

    // The one request the last call sent.
    Request sent()
    {
        const auto all = requests();
        EXPECT_EQ(all.size(), seen + 1) << "exactly one request";
        seen = all.size();
        return all.empty() ? Request{} : all.back();
    }
    // The carrier data of the one request the last call sent.
    Bytes carried()
    {
        const Request r = sent();
        EXPECT_EQ(r.command, 0x28);
        return r.data;
    }
    void nothingSent() { EXPECT_EQ(requestCount(), seen) << "nothing may be sent"; }

    std::size_t seen = 0;
};

TEST_F(OrbaRequests, ReadBlockAddressed)
{
    Single s;
    ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 5, 2, kUid.data(), &s.length, s.data.data(), &s.status), 0);
    const Request r = sent();
    EXPECT_EQ(r.command, 0x28);
    EXPECT_EQ(r.data, (Bytes{0x02, 0x20, 0x20, 0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0, 0x05}));
    EXPECT_EQ(r.frame[3], 12) << "data length";
}

TEST_F(OrbaRequests, WriteBlockUnaddressedReversesTheData)
{
    const Bytes value{0x11, 0x22, 0x33, 0x44};
    Single s;
    ASSERT_EQ(ORBA_WriteBlockISO15693(handle(), 2, 4, value.data(), 0, 0, nullptr, &s.length, s.data.data(), &s.status),
              0);
    EXPECT_EQ(carried(), (Bytes{0x03, 0x00, 0x21, 0x02, 0x44, 0x33, 0x22, 0x11}));
}

// Every tag command in every addressing mode, with and without the option.
TEST_F(OrbaRequests, TagCommandRequests)
{
    using Call = std::function<std::int32_t(std::int32_t mode, std::int32_t option, Single&)>;
    struct Case {
        const char* name;
        std::uint8_t control;
        std::uint8_t code;
        Bytes params; // after the UID
        bool alwaysAddressed;
        Call call;
    };
    const Bytes two{0xA1, 0xB2};
    const Case cases[] = {
        {"read", 0x02, 0x20, {0x07}, false,
         [&](auto mode, auto, Single& s) {
             return ORBA_ReadBlockISO15693(handle(), 7, mode, kUid.data(), &s.length, s.data.data(), &s.status);
         }},
        {"write", 0x03, 0x21, {0x01, 0xB2, 0xA1}, false,
         [&](auto mode, auto option, Single& s) {
             return ORBA_WriteBlockISO15693(handle(), 1, 2, two.data(), option, mode, kUid.data(), &s.length,
                                            s.data.data(), &s.status);
         }},
        {"lock", 0x03, 0x22, {0x09}, false,
         [&](auto mode, auto option, Single& s) {
             return ORBA_LockBlockISO15693(handle(), 9, option, mode, kUid.data(), &s.length, s.data.data(),
                                           &s.status);
         }},
        {"select", 0x02, 0x25, {}, true,
         [&](auto, auto, Single& s) {
             return ORBA_SelectISO15693(handle(), kUid.data(), &s.length, s.data.data(), &s.status);
         }},
        {"reset to ready", 0x02, 0x26, {}, false,
         [&](auto mode, auto, Single& s) {
             return ORBA_RTReadyISO15693(handle(), mode, kUid.data(), &s.length, s.data.data(), &s.status);
         }},
        {"write AFI", 0x03, 0x27, {0x91}, false,
         [&](auto mode, auto option, Single& s) {
             return ORBA_WriteAfiISO15693(handle(), 0x91, option, mode, kUid.data(), &s.length, s.data.data(),
                                          &s.status);
         }},
        {"lock AFI", 0x03, 0x28, {}, false,
         [&](auto mode, auto option, Single& s) {
             return ORBA_LockAfiISO15693(handle(), option, mode, kUid.data(), &s.length, s.data.data(), &s.status);
         }},
        {"write DSFID", 0x03, 0x29, {0x3C}, false,
         [&](auto mode, auto option, Single& s) {
             return ORBA_WriteDsfidISO15693(handle(), 0x13C, option, mode, kUid.data(), &s.length, s.data.data(),
                                            &s.status);
         }},
        {"lock DSFID", 0x03, 0x2A, {}, false,
         [&](auto mode, auto option, Single& s) {
             return ORBA_LockDsfidISO15693(handle(), option, mode, kUid.data(), &s.length, s.data.data(), &s.status);
         }},
        {"system info", 0x02, 0x2B, {}, false,
         [&](auto mode, auto, Single& s) {
             return ORBA_SystemInfoISO15693(handle(), mode, kUid.data(), &s.length, s.data.data(), &s.status);
         }},
        {"block status", 0x02, 0x2C, {0x00, 0x07}, false,
         [&](auto mode, auto, Single& s) {
             return ORBA_BlockStatusISO15693(handle(), 0, 8, mode, kUid.data(), &s.length, s.data.data(),
                                             &s.status);
         }},
        {"stay quiet", 0x02, 0x02, {}, true,
         [&](auto, auto, Single& s) { return ORBA_StayQuietISO15693(handle(), kUid.data(), &s.status); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool writeAlike = c.control & 0x01;
        for (std::int32_t mode : {0, 1, 2, 3}) {
            for (std::int32_t option : {0, 1, 2}) {
                Single s;
                ASSERT_EQ(c.call(mode, option, s), 0);
                std::uint8_t flags = 0;
                if (c.alwaysAddressed || mode == 2)
                    flags |= 0x20;
                else if (mode == 1)
                    flags |= 0x10;
                if (writeAlike && option == 1)
                    flags |= 0x40;
                const Bytes expected =
                    cat({{c.control, flags, c.code}, (flags & 0x20) ? kUidOnAir : Bytes{}, c.params});
                EXPECT_EQ(carried(), expected) << "mode " << mode << " option " << option;
            }
        }
    }
}

TEST_F(OrbaRequests, DownlinkOptionsSetRequestFlags)
{
    std::uint8_t status = 0xEE;
    std::int32_t a = -1, b = -1;
    ASSERT_EQ(ORBA_GetDownlinkISO15693(handle(), &a, &b, &status), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);

    const struct {
        std::int32_t a, b;
        std::uint8_t flags;
    } cases[] = {{1, 1, 0x03}, {1, 0, 0x01}, {0, 1, 0x02}, {2, -1, 0x00}};
    for (const auto& c : cases) {
        status = 0xEE;
        ASSERT_EQ(ORBA_SetDownlinkISO15693(handle(), c.a, c.b, &status), 0);
        EXPECT_EQ(status, 0);
        nothingSent();
        ASSERT_EQ(ORBA_GetDownlinkISO15693(handle(), &a, &b, &status), 0);
        EXPECT_EQ(a, c.a);
        EXPECT_EQ(b, c.b);

        Single s;
        ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 0, 1, nullptr, &s.length, s.data.data(), &s.status), 0);
        EXPECT_EQ(carried(), (Bytes{0x02, static_cast<std::uint8_t>(0x10 | c.flags), 0x20, 0x00}));
        Records r;
        ASSERT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &r.count, r.lengths.data(), r.slots.data(),
                                         &r.status),
                  0);
        EXPECT_EQ(carried(), (Bytes{0x02, static_cast<std::uint8_t>(0x04 | c.flags), 0x01, 0x00}));
    }
}

TEST_F(OrbaRequests, InventoryRequests)
{
    const Bytes mask{0x0A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78};
    const struct {
        std::int32_t oneSlot, afiFlag, afi, maskLength;
        Bytes expected;
    } cases[] = {
        {0, 0, 0x91, 0, {0x02, 0x04, 0x01, 0x00}},
        {0, 1, 0x91, 0, {0x02, 0x14, 0x01, 0x91, 0x00}},
        {1, 0, 0, 0, {0x02, 0x24, 0x01, 0x00}},
        {2, 0, 0, 0, {0x02, 0x04, 0x01, 0x00}},
        {0, 0, 0, 1, {0x02, 0x04, 0x01, 0x01, 0x0A}},
        {0, 0, 0, 8, {0x02, 0x04, 0x01, 0x08, 0x0A}},
        {0, 0, 0, 12, {0x02, 0x04, 0x01, 0x0C, 0xBC, 0x0A}},
        {1, 1, 0x93, 64, {0x02, 0x34, 0x01, 0x93, 0x40, 0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x0A}},
    };
    for (const auto& c : cases) {
        Records r;
        ASSERT_EQ(ORBA_InventoryISO15693(handle(), c.oneSlot, c.afiFlag, c.afi, c.maskLength, mask.data(), &r.count,
                                         r.lengths.data(), r.slots.data(), &r.status),
                  0);
        EXPECT_EQ(carried(), c.expected);
    }
}

TEST_F(OrbaRequests, GenericCommandControlByte)
{
    const Bytes request{0x02, 0xA5, 0x04};
    const struct {
        std::int32_t flags[5];
        std::uint8_t control;
    } cases[] = {
        {{0, 1, 0, 0, 0}, 0x02}, {{1, 1, 0, 0, 0}, 0x03}, {{7, -1, 1, 1, 1}, 0x03},
        {{0, 0, 1, 0, 0}, 0x10}, {{0, 0, 0, 5, 0}, 0x20}, {{1, 0, 1, 1, 1}, 0x71},
    };
    for (const auto& c : cases) {
        Records r;
        ASSERT_EQ(ORBA_GenericCommandISO15693(handle(), c.flags[0], c.flags[1], c.flags[2], c.flags[3], c.flags[4], 3,
                                              request.data(), &r.count, r.lengths.data(), r.slots.data(), &r.status),
                  0);
        EXPECT_EQ(carried(), cat({{c.control}, request}));
    }
}

TEST_F(OrbaRequests, ReaderSettingsCommands)
{
    std::uint8_t status = 0xEE;
    ASSERT_EQ(ORBA_RfOn(handle(), &status), 0);
    Request r = sent();
    EXPECT_EQ(r.command, 0x0C);
    EXPECT_TRUE(r.data.empty());
    ASSERT_EQ(ORBA_RfOff(handle(), &status), 0);
    r = sent();
    EXPECT_EQ(r.command, 0x0D);
    EXPECT_TRUE(r.data.empty());

    ASSERT_EQ(ORBA_SetUplinkISO15693(handle(), 1, 0, 9, &status), 0);
    r = sent();
    EXPECT_EQ(r.command, 0x29);
    EXPECT_EQ(r.data, Bytes{0x05});
    ASSERT_EQ(ORBA_SetTimingISO15693(handle(), 0x1AB, 0x07, &status), 0);
    r = sent();
    EXPECT_EQ(r.command, 0x2A);
    EXPECT_EQ(r.data, (Bytes{0xAB, 0x07}));

    answerAll(0x00, {0x06});
    std::int32_t f1 = 7, f2 = 7, f3 = 7;
    ASSERT_EQ(ORBA_GetUplinkISO15693(handle(), &f1, &f2, &f3, &status), 0);
    r = sent();
    EXPECT_EQ(r.command, 0x29);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ((std::array{f1, f2, f3}), (std::array{0, 1, 1}));
    std::uint8_t a = 9, b = 9;
    ASSERT_EQ(ORBA_GetTimingISO15693(handle(), &a, &b, &status), 0);
    r = sent();
    EXPECT_EQ(r.command, 0x2A);
    EXPECT_TRUE(r.data.empty());
    EXPECT_EQ(a, 0x06);
    EXPECT_EQ(b, 0) << "a one-byte answer has no second value";

    answerAll(0x00, {});
    ASSERT_EQ(ORBA_GetUplinkISO15693(handle(), &f1, &f2, &f3, &status), 0);
    EXPECT_EQ((std::array{f1, f2, f3}), (std::array{0, 0, 0}));
    ASSERT_EQ(ORBA_GetTimingISO15693(handle(), &a, &b, &status), 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);

    seen = requestCount();
    std::uint16_t m1 = 0, m2 = 0;
    ASSERT_EQ(ORBA_GetMemoryMapISO15693(handle(), &m1, &m2, &status), 0);
    EXPECT_EQ(m1, 16);
    EXPECT_EQ(m2, 4);
    ASSERT_EQ(ORBA_SetMemoryMapISO15693(handle(), 300, 8, &status), 0);
    ASSERT_EQ(ORBA_GetMemoryMapISO15693(handle(), &m1, &m2, &status), 0);
    EXPECT_EQ(m1, 300);
    EXPECT_EQ(m2, 8);
    nothingSent();
}

TEST_F(OrbaRequests, InventoryRecordsFromBlockListsAndPlainAnswers)
{
    const Bytes a(11, 0xA1), b(2, 0xB2), c(11, 0xC3);
    answerAll(0x00, cat({{11}, a, {2}, b, {11}, c, {0xFF}}), 0xFF);
    Records r;
    ASSERT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &r.count, r.lengths.data(), r.slots.data(),
                                     &r.status),
              0);
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.count, 3);
    EXPECT_EQ(r.record(0), a);
    EXPECT_EQ(r.record(1), b);
    EXPECT_EQ(r.record(2), c);
    EXPECT_EQ(r.slots[11], 0xEE) << "each record in its own 64-byte slot";
    EXPECT_EQ(r.slots[64 + 2], 0xEE);
    EXPECT_EQ(r.lengths[3], 0xEE);

    Records plain;
    answerAll(0x00, a);
    ASSERT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &plain.count, plain.lengths.data(),
                                     plain.slots.data(), &plain.status),
              0);
    EXPECT_EQ(plain.count, 1);
    EXPECT_EQ(plain.record(0), a);

    // A plain answer longer than a slot comes whole, running on into the next slot.
    const Bytes longAnswer(100, 0x5A);
    answerAll(0x00, longAnswer);
    Records generic;
    const Bytes request{0x02, 0x2B};
    ASSERT_EQ(ORBA_GenericCommandISO15693(handle(), 0, 1, 0, 0, 0, 2, request.data(), &generic.count,
                                          generic.lengths.data(), generic.slots.data(), &generic.status),
              0);
    EXPECT_EQ(generic.count, 1);
    EXPECT_EQ(generic.lengths[0], 100);
    EXPECT_EQ(Bytes(generic.slots.begin(), generic.slots.begin() + 100), longAnswer);
}

TEST_F(OrbaRequests, BlockListsAreBoundedAndCheckedBeforeAnythingIsStored)
{
    // A record longer than its slot is cut to the slot.
    const Bytes longRecord(100, 0x77);
    answerAll(0x00, cat({{100}, longRecord, {1, 0x01}, {0xFF}}), 0xFF);
    Records r;
    ASSERT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &r.count, r.lengths.data(), r.slots.data(),
                                     &r.status),
              0);
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.lengths[0], ORBA_RECORD_SLOT_SIZE);
    EXPECT_EQ(r.record(0), Bytes(64, 0x77));
    EXPECT_EQ(r.record(1), Bytes{0x01});

    // More records than the arrays hold: the first ORBA_MAX_RECORDS.
    Bytes many;
    for (int i = 0; i < ORBA_MAX_RECORDS + 10; ++i)
        many.insert(many.end(), {2, 0x00, static_cast<std::uint8_t>(i)});
    many.push_back(0xFF);
    answerAll(0x00, many, 0xFF);
    Records full;
    ASSERT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &full.count, full.lengths.data(),
                                     full.slots.data(), &full.status),
              0);
    EXPECT_EQ(full.count, ORBA_MAX_RECORDS);
    EXPECT_EQ(full.record(ORBA_MAX_RECORDS - 1), (Bytes{0x00, ORBA_MAX_RECORDS - 1}));

    // A list that does not end within the reader's 1024-byte answer buffer
    // is malformed: -7, nothing stored.
    Bytes overlong;
    for (int i = 0; i < 5; ++i) {
        overlong.push_back(254);
        overlong.insert(overlong.end(), 254, 0x00);
    }
    overlong.push_back(0xFF);
    answerAll(0x00, overlong, 0xFF);
    Records bad;
    EXPECT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &bad.count, bad.lengths.data(), bad.slots.data(),
                                     &bad.status),
              LVRM_ERR_WRONG_BLOCK_FORMAT);
    EXPECT_EQ(bad.count, 0xEE);
    EXPECT_EQ(bad.status, 0xEE);
    EXPECT_EQ(bad.lengths[0], 0xEE);
    EXPECT_EQ(bad.slots[0], 0xEE);
    Single s;
    EXPECT_EQ(ORBA_ReadBlockISO15693(handle(), 0, 0, nullptr, &s.length, s.data.data(), &s.status),
              LVRM_ERR_WRONG_BLOCK_FORMAT);
    EXPECT_EQ(s.status, 0xEE);

    // A block list of records: a single-answer command takes the first.
    answerAll(0x00, {6, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 1, 0x01, 0xFF}, 0xFF);
    ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 0, 0, nullptr, &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00, 0x11, 0x22, 0x33, 0x44}));
}

TEST_F(OrbaRequests, SingleAnswers)
{
    answerAll(0x00, {0x00, 0x00, 0x11, 0x22, 0x33, 0x44});
    Single s;
    ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 3, 0, nullptr, &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(s.data[6], 0xEE);

    // Bit 7 in the status byte: only the status is stored.
    answerAll(QVL_STATUS_NO_TAG, {0x01, 0x02, 0x03});
    Single refused;
    ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 3, 0, nullptr, &refused.length, refused.data.data(), &refused.status),
              0);
    EXPECT_EQ(refused.status, QVL_STATUS_NO_TAG);
    EXPECT_EQ(refused.length, 0xEE);
    EXPECT_EQ(refused.data[0], 0xEE);

    // An empty answer: length 0, nothing copied.
    answerAll(0x00, {});
    Single empty;
    ASSERT_EQ(ORBA_SelectISO15693(handle(), kUid.data(), &empty.length, empty.data.data(), &empty.status), 0);
    EXPECT_EQ(empty.length, 0);
    EXPECT_EQ(empty.data[0], 0xEE);

    // The longest plain answer fits the documented buffer.
    const Bytes longest(254, 0x3D);
    answerAll(0x00, longest);
    Single big;
    ASSERT_EQ(ORBA_SystemInfoISO15693(handle(), 0, nullptr, &big.length, big.data.data(), &big.status), 0);
    EXPECT_EQ(big.length, 254);
    EXPECT_EQ(big.bytes(), longest);
}

TEST_F(OrbaRequests, ArgumentsThatCannotMakeARequest)
{
    Single s;
    EXPECT_EQ(ORBA_ReadBlockISO15693(handle(), 1, 2, nullptr, &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.status, ORBA_STATUS_BAD_ARGUMENT) << "addressed without a UID";
    EXPECT_EQ(s.length, 0xEE);
    s.status = 0xEE;
    EXPECT_EQ(ORBA_StayQuietISO15693(handle(), nullptr, &s.status), 0);
    EXPECT_EQ(s.status, ORBA_STATUS_BAD_ARGUMENT);
    s.status = 0xEE;
    EXPECT_EQ(ORBA_WriteBlockISO15693(handle(), 1, 4, nullptr, 0, 0, nullptr, &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.status, ORBA_STATUS_BAD_ARGUMENT);
    const Bytes big(250, 0x01);
    s.status = 0xEE;
    EXPECT_EQ(ORBA_WriteBlockISO15693(handle(), 1, 250, big.data(), 0, 2, kUid.data(), &s.length, s.data.data(),
                                      &s.status),
              0);
    EXPECT_EQ(s.status, ORBA_STATUS_BAD_ARGUMENT) << "too long for one frame";
    Records r;
    EXPECT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 8, nullptr, &r.count, r.lengths.data(), r.slots.data(),
                                     &r.status),
              0);
    EXPECT_EQ(r.status, ORBA_STATUS_BAD_ARGUMENT) << "a mask length without a mask";
    r.status = 0xEE;
    const Bytes longest(255, 0x00);
    EXPECT_EQ(ORBA_GenericCommandISO15693(handle(), 0, 1, 0, 0, 0, 255, longest.data(), &r.count, r.lengths.data(),
                                          r.slots.data(), &r.status),
              0);
    EXPECT_EQ(r.status, ORBA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(r.count, 0xEE);
    nothingSent();

    // The longest request that fits goes out.
    const Bytes fits(243, 0x01);
    ASSERT_EQ(ORBA_WriteBlockISO15693(handle(), 1, 243, fits.data(), 0, 2, kUid.data(), &s.length, s.data.data(),
                                      &s.status),
              0);
    EXPECT_EQ(carried().size(), 255u);
}

TEST_F(OrbaRequests, InvalidHandlesAndTimeOut)
{
    for (std::int32_t h : {0, 17, handle() + 1}) {
        Single s;
        EXPECT_EQ(ORBA_ReadBlockISO15693(h, 1, 0, nullptr, &s.length, s.data.data(), &s.status),
                  LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(s.status, 0xEE);
        EXPECT_EQ(ORBA_SetDownlinkISO15693(h, 1, 1, &s.status), LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(ORBA_RfOn(h, &s.status), LVRM_ERR_INVALID_HANDLE);
        EXPECT_EQ(ORBA_ReadBlockISO15693(h, 1, 2, nullptr, &s.length, s.data.data(), &s.status),
                  LVRM_ERR_INVALID_HANDLE)
            << "the handle check comes before the argument check";
        EXPECT_EQ(s.status, 0xEE);
    }
    nothingSent();

    silenceAll();
    ASSERT_EQ(QVL_SetTimeout(handle(), 150), 1);
    Records r;
    EXPECT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &r.count, r.lengths.data(), r.slots.data(),
                                     &r.status),
              QVL_ERR_TIMEOUT);
    EXPECT_EQ(r.count, 0xEE);
    EXPECT_EQ(r.status, 0xEE);
}

// ---------------------------------------------------------------------------
// End to end against the simulated ORBA reader.

const sim::Uid kTag1 = *sim::uidFromText("E004010012345671");
const sim::Uid kTag2 = *sim::uidFromText("E004010012345681"); // the same first slot as kTag1
const sim::Uid kTag3 = *sim::uidFromText("E004010012345693");

// One simulated ORBA reader per test (some tests serve other models).
class OrbaReader : public ::testing::Test {
protected:
    void SetUp() override { serve({}); }

    void serve(const sim::PersonalityOptions& options)
    {
        ASSERT_NO_FATAL_FAILURE(family.serve("orba", kSimPort, options));
    }
    std::int32_t handle() const { return family.handle(); }
    sim::Reader& reader() { return family.reader(); }
    void place(const sim::Uid& uid, std::uint8_t afi = 0, bool eas = true) { family.place(uid, afi, eas); }

    // The UIDs of an inventory, most significant byte first, as the tag
    // mapping library reads them: records longer than one byte, bytes 3 to 10.
    std::vector<sim::Uid> inventory(std::int32_t afiFlag = 0, std::int32_t afi = 0)
    {
        Records r;
        EXPECT_EQ(ORBA_InventoryISO15693(handle(), 0, afiFlag, afi, 0, nullptr, &r.count, r.lengths.data(),
                                         r.slots.data(), &r.status),
                  0);
        EXPECT_EQ(r.status, 0);
        std::vector<sim::Uid> uids;
        for (std::size_t i = 0; i < r.count; ++i) {
            if (r.lengths[i] <= 1)
                continue;
            EXPECT_EQ(r.lengths[i], 11);
            const Bytes rec = r.record(i);
            sim::Uid uid;
            std::reverse_copy(rec.begin() + 3, rec.begin() + 11, uid.begin());
            uids.push_back(uid);
        }
        std::sort(uids.begin(), uids.end());
        return uids;
    }

    // The EAS custom commands as the tag mapping library sends them.
    std::uint8_t easWrite(std::uint8_t command)
    {
        const Bytes request{0x02, command, 0x04};
        Records r;
        EXPECT_EQ(ORBA_GenericCommandISO15693(handle(), 1, 1, 0, 0, 0, 3, request.data(), &r.count, r.lengths.data(),
                                              r.slots.data(), &r.status),
                  0);
        EXPECT_EQ(r.count, 1);
        return r.lengths[0] >= 2 ? r.slots[1] : 0xFF; // the tag's response flags
    }
    bool easAlarm()
    {
        const Bytes request{0x02, 0xA5, 0x04};
        Records r;
        EXPECT_EQ(ORBA_GenericCommandISO15693(handle(), 0, 1, 0, 0, 0, 3, request.data(), &r.count, r.lengths.data(),
                                              r.slots.data(), &r.status),
                  0);
        EXPECT_EQ(r.status, 0);
        return r.count >= 1 && r.slots[0] == 2;
    }

    sim_test::SimulatedFamily family;
};

TEST_F(OrbaReader, IdentifiesEveryModelOfTheFamily)
{
    for (const char* model : {"MK-B1", "MK-C1", "MK-B1-G1", "MK-G1"}) {
        sim::PersonalityOptions options;
        options.model = model;
        serve(options);
        char text[256] = {};
        std::uint8_t first = 0, second = 0, status = 0xEE;
        ASSERT_EQ(QVL_IdentifyReaderOnNetwork(handle(), text, &first, &second, &status), 0);
        EXPECT_EQ(status, 0);
        EXPECT_STREQ(text, model);
        EXPECT_NE(first, 0);
        EXPECT_NE(second, 0);
    }
}

TEST_F(OrbaReader, RfFieldOnAndOff)
{
    place(kTag1);
    std::uint8_t status = 0xEE;
    ASSERT_EQ(ORBA_RfOff(handle(), &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(reader().rfOn());
    Records r;
    ASSERT_EQ(ORBA_InventoryISO15693(handle(), 0, 0, 0, 0, nullptr, &r.count, r.lengths.data(), r.slots.data(),
                                     &r.status),
              0);
    EXPECT_TRUE(r.status & 0x80) << "no inventory without the field";
    ASSERT_EQ(ORBA_RfOn(handle(), &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(reader().rfOn());
    EXPECT_EQ(inventory(), std::vector<sim::Uid>{kTag1});
}

TEST_F(OrbaReader, InventoryOfNoneOneAndThreeTagsWithAndWithoutAfi)
{
    EXPECT_TRUE(inventory().empty());
    EXPECT_TRUE(inventory(1, 0x91).empty());
    place(kTag1, 0x91);
    EXPECT_EQ(inventory(), std::vector<sim::Uid>{kTag1});
    EXPECT_EQ(inventory(1, 0x91), std::vector<sim::Uid>{kTag1});
    EXPECT_TRUE(inventory(1, 0x92).empty());
    place(kTag2, 0x92);
    place(kTag3, 0x91);
    EXPECT_EQ(inventory(), (std::vector<sim::Uid>{kTag1, kTag2, kTag3}));
    EXPECT_EQ(inventory(1, 0x91), (std::vector<sim::Uid>{kTag1, kTag3}));
    EXPECT_EQ(inventory(1, 0x92), std::vector<sim::Uid>{kTag2});
    EXPECT_EQ(inventory(1, 0), (std::vector<sim::Uid>{kTag1, kTag2, kTag3})) << "AFI 0 matches every tag";

    // A mask of the last byte, given most significant first.
    Records r;
    const std::uint8_t mask = 0x81;
    ASSERT_EQ(ORBA_InventoryISO15693(handle(), 1, 0, 0, 8, &mask, &r.count, r.lengths.data(), r.slots.data(),
                                     &r.status),
              0);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.record(0)[3], 0x81);
}

TEST_F(OrbaReader, BlocksWrittenReadAndLocked)
{
    place(kTag1);
    place(kTag2);
    const auto& uid = kTag1; // most significant byte first, as callers give it
    const Bytes value{0x11, 0x22, 0x33, 0x44}; // most significant first
    Single s;
    ASSERT_EQ(ORBA_WriteBlockISO15693(handle(), 2, 4, value.data(), 0, 2, uid.data(), &s.length, s.data.data(),
                                      &s.status),
              0);
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00}));
    EXPECT_EQ(reader().tag(kTag1)->block(2), 0x11223344u);
    EXPECT_EQ(reader().tag(kTag2)->block(2), 0u);

    Single read;
    ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 2, 2, uid.data(), &read.length, read.data.data(), &read.status), 0);
    EXPECT_EQ(read.bytes(), (Bytes{0x00, 0x00, 0x44, 0x33, 0x22, 0x11})) << "value least significant first";

    ASSERT_EQ(ORBA_LockBlockISO15693(handle(), 2, 0, 2, uid.data(), &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00}));
    EXPECT_TRUE(reader().tag(kTag1)->blockLocked(2));

    const Bytes other{0xDE, 0xAD, 0xBE, 0xEF};
    ASSERT_EQ(ORBA_WriteBlockISO15693(handle(), 2, 4, other.data(), 0, 2, uid.data(), &s.length, s.data.data(),
                                      &s.status),
              0);
    ASSERT_EQ(s.length, 3);
    EXPECT_EQ(s.data[1] & 0x01, 0x01) << "a locked block refuses";
    EXPECT_EQ(reader().tag(kTag1)->block(2), 0x11223344u);

    Single st;
    ASSERT_EQ(ORBA_BlockStatusISO15693(handle(), 0, 8, 2, uid.data(), &st.length, st.data.data(), &st.status), 0);
    EXPECT_EQ(st.bytes(), (Bytes{0x00, 0x00, 0, 0, 1, 0, 0, 0, 0, 0}));

    // A block beyond the tag's memory: the tag refuses, and says why.
    ASSERT_EQ(ORBA_ReadBlockISO15693(handle(), 200, 2, uid.data(), &read.length, read.data.data(), &read.status), 0);
    EXPECT_EQ(read.bytes(), (Bytes{0x00, 0x01, 0x10}));

    // Unaddressed, with only one tag left in the field.
    ASSERT_TRUE(reader().remove(kTag2));
    ASSERT_EQ(ORBA_WriteBlockISO15693(handle(), 5, 4, other.data(), 0, 0, nullptr, &s.length, s.data.data(),
                                      &s.status),
              0);
    EXPECT_EQ(reader().tag(kTag1)->block(5), 0xDEADBEEFu);
    ASSERT_EQ(ORBA_BlockStatusISO15693(handle(), 0, 8, 0, nullptr, &st.length, st.data.data(), &st.status), 0);
    EXPECT_EQ(st.bytes(), (Bytes{0x00, 0x00, 0, 0, 1, 0, 0, 0, 0, 0}));
}

TEST_F(OrbaReader, SelectedTagAndReadyAgain)
{
    place(kTag1);
    place(kTag2);
    const auto& uid = kTag2;
    Single s;
    ASSERT_EQ(ORBA_SelectISO15693(handle(), uid.data(), &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00}));
    const Bytes value{0x00, 0x00, 0x00, 0x2A};
    ASSERT_EQ(ORBA_WriteBlockISO15693(handle(), 0, 4, value.data(), 0, 1, nullptr, &s.length, s.data.data(),
                                      &s.status),
              0);
    EXPECT_EQ(reader().tag(kTag2)->block(0), 42u);
    EXPECT_EQ(reader().tag(kTag1)->block(0), 0u);

    ASSERT_EQ(ORBA_RTReadyISO15693(handle(), 1, nullptr, &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00}));
    EXPECT_EQ(reader().tag(kTag2)->state(), sim::Tag::State::Ready);

    std::uint8_t status = 0xEE;
    ASSERT_EQ(ORBA_StayQuietISO15693(handle(), kTag1.data(), &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(reader().tag(kTag1)->state(), sim::Tag::State::Quiet);
    EXPECT_EQ(inventory(), std::vector<sim::Uid>{kTag2}) << "a quiet tag keeps out of inventories";
}

TEST_F(OrbaReader, AfiDsfidAndSystemInformation)
{
    place(kTag1);
    const auto& uid = kTag1; // most significant byte first, as callers give it
    Single s;
    ASSERT_EQ(ORBA_WriteAfiISO15693(handle(), 0x91, 0, 2, uid.data(), &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x00}));
    EXPECT_EQ(reader().tag(kTag1)->afi(), 0x91);
    ASSERT_EQ(ORBA_WriteDsfidISO15693(handle(), 0x5C, 0, 0, nullptr, &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(reader().tag(kTag1)->dsfid(), 0x5C);
    ASSERT_EQ(ORBA_LockAfiISO15693(handle(), 0, 2, uid.data(), &s.length, s.data.data(), &s.status), 0);
    ASSERT_EQ(ORBA_LockDsfidISO15693(handle(), 0, 2, uid.data(), &s.length, s.data.data(), &s.status), 0);
    EXPECT_TRUE(reader().tag(kTag1)->afiLocked());
    EXPECT_TRUE(reader().tag(kTag1)->dsfidLocked());
    ASSERT_EQ(ORBA_WriteAfiISO15693(handle(), 0x92, 0, 2, uid.data(), &s.length, s.data.data(), &s.status), 0);
    EXPECT_EQ(s.bytes(), (Bytes{0x00, 0x01, 0x12}));
    EXPECT_EQ(reader().tag(kTag1)->afi(), 0x91);

    ASSERT_EQ(ORBA_SystemInfoISO15693(handle(), 2, uid.data(), &s.length, s.data.data(), &s.status), 0);
    ASSERT_EQ(s.length, 16);
    EXPECT_EQ(s.data[0], 0x00);
    EXPECT_EQ(Bytes(s.data.begin() + 3, s.data.begin() + 11), Bytes(kTag1.rbegin(), kTag1.rend()));
    EXPECT_EQ(s.data[11], 0x5C) << "DSFID";
    EXPECT_EQ(s.data[12], 0x91) << "AFI";
}

TEST_F(OrbaReader, EasSetResetLockAndAlarm)
{
    place(kTag1);
    const auto& uid = kTag1; // most significant byte first, as callers give it
    Single s;
    ASSERT_EQ(ORBA_SelectISO15693(handle(), uid.data(), &s.length, s.data.data(), &s.status), 0);
    EXPECT_FALSE(easAlarm());
    EXPECT_EQ(easWrite(0xA2), 0x00);
    EXPECT_TRUE(reader().tag(kTag1)->eas());
    EXPECT_TRUE(easAlarm());
    EXPECT_EQ(easWrite(0xA3), 0x00);
    EXPECT_FALSE(reader().tag(kTag1)->eas());
    EXPECT_FALSE(easAlarm());
    EXPECT_EQ(easWrite(0xA2), 0x00);
    EXPECT_EQ(easWrite(0xA4), 0x00);
    EXPECT_TRUE(reader().tag(kTag1)->easLocked());
    EXPECT_EQ(easWrite(0xA3), 0x01) << "a locked EAS bit refuses";
    EXPECT_TRUE(reader().tag(kTag1)->eas());
    EXPECT_TRUE(easAlarm());

    reader().removeAll();
    place(kTag2, 0, false);
    EXPECT_EQ(easWrite(0xA2), 0x01) << "a chip without EAS refuses";
    EXPECT_FALSE(easAlarm());
}

} // namespace
