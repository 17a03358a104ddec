// The FENO commands against a scripted reader on a pseudo-terminal: the exact
// request bytes of every command, and how each reads the reader's answer.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "quorvel.h"
#include "quorvel_feno.h"
#include "scripted_peer.h"
#include "scripted_reader.h"

using namespace tables_test;

namespace {

constexpr std::uint16_t kTime = 1000; // 0x03E8

const std::uint8_t kUid[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
const Bytes kUidBytes(std::begin(kUid), std::end(kUid));

// The outputs of one command, preset to a marker so that untouched ones show.
struct Out {
    std::uint8_t status = kUnset;
    std::uint8_t length = kUnset;
    std::array<std::uint8_t, 512> data;
    std::int32_t count = -99;
    std::int32_t flag = -99;
    std::vector<std::uint8_t> entries = std::vector<std::uint8_t>(FENO_MAX_ENTRIES * FENO_ENTRY_SIZE + 1, kUnset);
    Out() { data.fill(kUnset); }
    Bytes raw() const { return Bytes(data.begin(), data.begin() + length); }
    Bytes entry(int i, std::size_t n) const
    {
        const auto at = entries.begin() + i * FENO_ENTRY_SIZE;
        return Bytes(at, at + static_cast<std::ptrdiff_t>(n));
    }
};

// One link to the scripted reader for the whole suite. The reader answers in
// the request's mode and address with the next scripted answer (status 0 and
// no data when none is left).
using FenoCommands = tables_test::ScriptedReader;

struct Vector {
    const char* name;
    std::function<std::int32_t(std::int32_t handle, Out& out)> call;
    std::uint8_t command;
    Bytes data;
};

// Time value 1000 goes out as 03 E8.
const Bytes t{0x03, 0xE8};

std::vector<Vector> requestVectors()
{
    const std::uint8_t block[4] = {0x11, 0x22, 0x33, 0x44};
    std::vector<std::uint8_t> mask(32);
    for (std::size_t i = 0; i < mask.size(); ++i)
        mask[i] = static_cast<std::uint8_t>(0xA0 + i);
    const auto maskBytes = [mask](std::size_t n) { return Bytes(mask.begin(), mask.begin() + static_cast<std::ptrdiff_t>(n)); };
    const std::uint8_t eas[3] = {0x02, 0xA5, 0x04};
    std::vector<Vector> v = {
        {"SetRf on", [](auto h, Out& o) { return FENO_SetRf(h, 1, &o.status); }, 0x13, {0x01}},
        {"SetRf off", [](auto h, Out& o) { return FENO_SetRf(h, 0, &o.status); }, 0x13, {0x00}},
        {"SetPower", [](auto h, Out& o) { return FENO_SetPower(h, 7, &o.status); }, 0x0F, {0x07}},
        {"SetPowerEx", [](auto h, Out& o) { return FENO_SetPowerEx(h, 0x012C, &o.status); }, 0x0F, {0x01, 0x2C}},
        {"RestoreDefaults", [](auto h, Out& o) { return FENO_RestoreDefaults(h, &o.status); }, 0x07, {}},
        {"SetTiming", [](auto h, Out& o) { return FENO_SetTimingISO15693(h, 5, 0x1234, &o.status); }, 0x1F,
         {0x05, 0x12, 0x34}},
        {"SetUplink", [](auto h, Out& o) { return FENO_SetUplinkISO15693(h, 0x101, 2, &o.status); }, 0x20,
         {0x01, 0x02}},
        {"SetDownlink", [](auto h, Out& o) { return FENO_SetDownlinkISO15693(h, 3, 4, &o.status); }, 0x21,
         {0x03, 0x04}},
        {"SetMemoryMap 8, 4 sends 7, 3", [](auto h, Out& o) { return FENO_SetMemoryMapISO15693(h, 8, 4, &o.status); },
         0x22, {0x07, 0x03}},
        {"StayQuiet", [](auto h, Out& o) { return FENO_StayQuietISO15693(h, kUid, kTime, &o.status); }, 0x23,
         cat({kUidBytes, t})},
        {"Inventory as the tag mapping library asks",
         [](auto h, Out& o) {
             return FENO_InventoryISO15693Ex(h, 1, 0, 1, 1, 0x91, 0, nullptr, kTime, &o.count, o.entries.data(),
                                             &o.status);
         },
         0x24, {0x01, 0x00, 0x01, 0x01, 0x91, 0x03, 0xE8, 0x00}},
        {"Inventory raw, time high byte first",
         [](auto h, Out& o) {
             return FENO_InventoryISO15693(h, 2, 3, 4, 0, 0, 0, nullptr, 0x1234, &o.length, o.data.data(), &o.status);
         },
         0x24, {0x02, 0x03, 0x04, 0x00, 0x00, 0x12, 0x34, 0x00}},
        {"Generic EAS alarm: answer length sent less one",
         [eas](auto h, Out& o) {
             return FENO_GenericCommandISO15693(h, 0, 0, 0, 3, eas, 33, kTime, &o.length, o.data.data(), &o.status);
         },
         0x25, {0x00, 0x00, 0x00, 0x03, 0xE8, 0x20, 0x02, 0xA5, 0x04}},
        {"Generic: the most negative answer length goes out as 0xFF, without overflow",
         [eas](auto h, Out& o) {
             return FENO_GenericCommandISO15693(h, 0, 0, 0, 3, eas, INT32_MIN, kTime, &o.length, o.data.data(),
                                                &o.status);
         },
         0x25, {0x00, 0x00, 0x00, 0x03, 0xE8, 0xFF, 0x02, 0xA5, 0x04}},
        {"GenericEx",
         [eas](auto h, Out& o) {
             return FENO_GenericCommandISO15693Ex(h, 1, 2, 3, 3, eas, 1, kTime, &o.count, o.entries.data(), &o.status);
         },
         0x25, {0x01, 0x02, 0x03, 0x03, 0xE8, 0x00, 0x02, 0xA5, 0x04}},
        {"ReadBlock mode 0 without UID",
         [](auto h, Out& o) {
             return FENO_ReadBlockISO15693(h, 3, 0, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x26, {0x03, 0x00, 0x03, 0xE8, 0x00}},
        {"ReadBlock mode 1 without UID",
         [](auto h, Out& o) {
             return FENO_ReadBlockISO15693(h, 3, 1, 1, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x26, {0x03, 0x01, 0x03, 0xE8, 0x01}},
        {"ReadBlock mode 2: UID as given",
         [](auto h, Out& o) {
             return FENO_ReadBlockISO15693(h, 0x1FF, 0, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x26, cat({{0xFF, 0x00, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"WriteBlock mode 0",
         [block](auto h, Out& o) {
             return FENO_WriteBlockISO15693(h, 2, 4, block, 0, 1, 0, 0, nullptr, kTime, &o.length, o.data.data(),
                                            &o.status);
         },
         0x27, {0x02, 0x00, 0x01, 0x00, 0x03, 0xE8, 0x00, 0x11, 0x22, 0x33, 0x44}},
        {"WriteBlock mode 2",
         [block](auto h, Out& o) {
             return FENO_WriteBlockISO15693(h, 7, 4, block, 0, 1, 0, 2, kUid, kTime, &o.length, o.data.data(),
                                            &o.status);
         },
         0x27, cat({{0x07, 0x00, 0x01, 0x00, 0x03, 0xE8, 0x02}, kUidBytes, {0x11, 0x22, 0x33, 0x44}})},
        {"LockBlock",
         [](auto h, Out& o) {
             return FENO_LockBlockISO15693(h, 5, 0, 1, 1, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x28, {0x05, 0x00, 0x01, 0x01, 0x03, 0xE8, 0x00}},
        {"LockBlock mode 2",
         [](auto h, Out& o) {
             return FENO_LockBlockISO15693(h, 5, 0, 1, 1, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x28, cat({{0x05, 0x00, 0x01, 0x01, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"BlockStatus 8 blocks sends 7",
         [](auto h, Out& o) {
             return FENO_BlockStatusISO15693(h, 0, 8, 0, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x29, {0x00, 0x07, 0x00, 0x03, 0xE8, 0x00}},
        {"BlockStatus: the most negative block count goes out as 0xFF, without overflow",
         [](auto h, Out& o) {
             return FENO_BlockStatusISO15693(h, 0, INT32_MIN, 0, 0, nullptr, kTime, &o.length, o.data.data(),
                                             &o.status);
         },
         0x29, {0x00, 0xFF, 0x00, 0x03, 0xE8, 0x00}},
        {"BlockStatus mode 2",
         [](auto h, Out& o) {
             return FENO_BlockStatusISO15693(h, 4, 2, 1, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x29, cat({{0x04, 0x01, 0x01, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"SystemInfo mode 0",
         [](auto h, Out& o) {
             return FENO_SystemInfoISO15693(h, 0, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2A, {0x00, 0x03, 0xE8, 0x00}},
        {"SystemInfo mode 2",
         [](auto h, Out& o) {
             return FENO_SystemInfoISO15693(h, 1, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2A, cat({{0x01, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"Select always carries the UID",
         [](auto h, Out& o) { return FENO_SelectISO15693(h, 0, kUid, kTime, &o.length, o.data.data(), &o.status); },
         0x2B, cat({{0x00, 0x03, 0xE8}, kUidBytes})},
        {"RTReady mode 2",
         [](auto h, Out& o) {
             return FENO_RTReadyISO15693(h, 0, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2C, cat({{0x00, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"WriteAfi",
         [](auto h, Out& o) {
             return FENO_WriteAfiISO15693(h, 0x91, 0, 1, 1, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2D, {0x91, 0x00, 0x01, 0x01, 0x03, 0xE8, 0x00}},
        {"WriteAfi mode 2",
         [](auto h, Out& o) {
             return FENO_WriteAfiISO15693(h, 0x92, 0, 1, 1, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2D, cat({{0x92, 0x00, 0x01, 0x01, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"LockAfi",
         [](auto h, Out& o) {
             return FENO_LockAfiISO15693(h, 0, 1, 1, 2, kUid, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2E, cat({{0x00, 0x01, 0x01, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"WriteDsfid",
         [](auto h, Out& o) {
             return FENO_WriteDsfidISO15693(h, 0x05, 0, 1, 1, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x2F, {0x05, 0x00, 0x01, 0x01, 0x03, 0xE8, 0x00}},
        {"LockDsfid",
         [](auto h, Out& o) {
             return FENO_LockDsfidISO15693(h, 1, 2, 3, 0, nullptr, kTime, &o.length, o.data.data(), &o.status);
         },
         0x30, {0x01, 0x02, 0x03, 0x03, 0xE8, 0x00}},
        {"ProgramEAS set, mode 0",
         [](auto h, Out& o) {
             return FENO_ProgramEASCHMISO15693(h, 0, 0, nullptr, 1, kTime, &o.length, o.data.data(), &o.status);
         },
         0x42, {0x00, 0x01, 0x03, 0xE8, 0x00}},
        {"ProgramEAS clear, mode 2",
         [](auto h, Out& o) {
             return FENO_ProgramEASCHMISO15693(h, 0, 2, kUid, 0, kTime, &o.length, o.data.data(), &o.status);
         },
         0x42, cat({{0x00, 0x00, 0x03, 0xE8, 0x02}, kUidBytes})},
        {"CheckEAS: options in request order",
         [](auto h, Out& o) { return FENO_CheckEASCHMISO15693(h, 1, 2, kUid, 2, 3, kTime, &o.flag, &o.status); },
         0x43, cat({{0x01, 0x02, 0x03, 0x03, 0xE8, 0x02}, kUidBytes})},
    };
    // Mask lengths 0, 1, 8, 9, 64 and 255 send 0, 1, 1, 2, 8 and 32 mask bytes.
    for (const auto& [bits, bytes] : std::vector<std::pair<int, std::size_t>>{
             {0, 0}, {1, 1}, {8, 1}, {9, 2}, {64, 8}, {255, 32}}) {
        v.push_back({"Inventory mask", [mask, bits](auto h, Out& o) {
                         return FENO_InventoryISO15693Ex(h, 1, 0, 1, 0, 0, bits, mask.data(), kTime, &o.count,
                                                         o.entries.data(), &o.status);
                     },
                     0x24, cat({{0x01, 0x00, 0x01, 0x00, 0x00, 0x03, 0xE8, static_cast<std::uint8_t>(bits)},
                                maskBytes(bytes)})});
    }
    return v;
}

} // namespace

TEST_F(FenoCommands, EveryCommandSendsItsExactRequest)
{
    for (const Vector& v : requestVectors()) {
        SCOPED_TRACE(v.name);
        Out out;
        const peer::Request request = sent([&] { return v.call(handle(), out); });
        EXPECT_EQ(request.mode, QVL_DEFAULT_MODE);
        EXPECT_EQ(request.command, v.command);
        EXPECT_EQ(request.data, v.data);
        EXPECT_EQ(out.status, 0x00);
    }
}

TEST_F(FenoCommands, ArgumentsThatCannotMakeARequestSendNothing)
{
    std::vector<std::uint8_t> big(256, 0x5A);
    const std::vector<std::pair<const char*, std::function<std::int32_t(Out&)>>> cases = {
        {"mode 2 without UID",
         [](Out& o) {
             return FENO_ReadBlockISO15693(handle(), 0, 0, 2, nullptr, kTime, &o.length, o.data.data(), &o.status);
         }},
        {"select without UID",
         [](Out& o) { return FENO_SelectISO15693(handle(), 0, nullptr, kTime, &o.length, o.data.data(), &o.status); }},
        {"stay quiet without UID", [](Out& o) { return FENO_StayQuietISO15693(handle(), nullptr, kTime, &o.status); }},
        {"mask bytes missing",
         [](Out& o) {
             return FENO_InventoryISO15693Ex(handle(), 1, 0, 1, 0, 0, 8, nullptr, kTime, &o.count, o.entries.data(),
                                             &o.status);
         }},
        {"write data missing",
         [](Out& o) {
             return FENO_WriteBlockISO15693(handle(), 0, 4, nullptr, 0, 1, 0, 0, nullptr, kTime, &o.length,
                                            o.data.data(), &o.status);
         }},
        {"write of 241 bytes by UID",
         [&big](Out& o) {
             return FENO_WriteBlockISO15693(handle(), 0, 241, big.data(), 0, 1, 0, 2, kUid, kTime, &o.length,
                                            o.data.data(), &o.status);
         }},
        {"write of 249 bytes",
         [&big](Out& o) {
             return FENO_WriteBlockISO15693(handle(), 0, 249, big.data(), 0, 1, 0, 0, nullptr, kTime, &o.length,
                                            o.data.data(), &o.status);
         }},
        {"negative byte count",
         [&big](Out& o) {
             return FENO_WriteBlockISO15693(handle(), 0, -1, big.data(), 0, 1, 0, 0, nullptr, kTime, &o.length,
                                            o.data.data(), &o.status);
         }},
        {"generic request of 250 bytes",
         [&big](Out& o) {
             return FENO_GenericCommandISO15693(handle(), 0, 0, 0, 250, big.data(), 1, kTime, &o.length, o.data.data(),
                                                &o.status);
         }},
        {"generic request without bytes",
         [](Out& o) {
             return FENO_GenericCommandISO15693Ex(handle(), 0, 0, 0, 3, nullptr, 1, kTime, &o.count, o.entries.data(),
                                                  &o.status);
         }},
    };
    const std::size_t before = requestCount();
    for (const auto& [name, call] : cases) {
        SCOPED_TRACE(name);
        Out out;
        EXPECT_EQ(call(out), 0);
        EXPECT_EQ(out.status, QVL_STATUS_BAD_ARGUMENT);
        EXPECT_EQ(out.length, kUnset);
        EXPECT_EQ(out.count, -99);
        EXPECT_EQ(out.data[0], kUnset);
    }
    // The longest requests that fit a frame do go out.
    Out out;
    EXPECT_EQ(sent([&] {
                  return FENO_WriteBlockISO15693(handle(), 0, 240, big.data(), 0, 1, 0, 2, kUid, kTime, &out.length,
                                                 out.data.data(), &out.status);
              }).data.size(),
              255u);
    EXPECT_EQ(sent([&] {
                  return FENO_GenericCommandISO15693(handle(), 0, 0, 0, 249, big.data(), 1, kTime, &out.length,
                                                     out.data.data(), &out.status);
              }).data.size(),
              255u);
    EXPECT_EQ(requestCount(), before + 2);
}

TEST_F(FenoCommands, RawAnswersAreHandedOverWhateverTheStatus)
{
    for (const std::uint8_t status : {0x00, QVL_STATUS_NO_TAG}) {
        SCOPED_TRACE(status);
        const Bytes record = {0x10, 0x04, 0x20, 0x00, 0x03, 0x00, 0xDE, 0xAD, 0xBE, 0xEF};
        answer(status, record);
        Out out;
        EXPECT_EQ(FENO_ReadBlockISO15693(handle(), 3, 0, 0, nullptr, kTime, &out.length, out.data.data(), &out.status),
                  0);
        EXPECT_EQ(out.status, status);
        EXPECT_EQ(out.raw(), record);
        EXPECT_EQ(out.data[record.size()], kUnset) << "nothing copied past the answer";
    }
    // A 254-byte answer comes over whole.
    Bytes longest(254);
    for (std::size_t i = 0; i < longest.size(); ++i)
        longest[i] = static_cast<std::uint8_t>(i);
    answer(0x00, longest);
    Out out;
    EXPECT_EQ(FENO_SystemInfoISO15693(handle(), 0, 0, nullptr, kTime, &out.length, out.data.data(), &out.status), 0);
    EXPECT_EQ(out.raw(), longest);

    // Status-only commands store the status and nothing else.
    answer(0x81, {1, 2, 3});
    std::uint8_t status = kUnset;
    EXPECT_EQ(FENO_SetRf(handle(), 1, &status), 0);
    EXPECT_EQ(status, 0x81);
}

TEST_F(FenoCommands, AnAnswerAnnouncedAsABlockListIsCopiedNoFurtherThan255Bytes)
{
    Bytes list;
    for (int block = 0; block < 4; ++block) {
        list.push_back(100);
        list.insert(list.end(), 100, static_cast<std::uint8_t>(block));
    }
    list.push_back(0xFF);
    answer(0x00, list, 0xFF);
    Out out;
    EXPECT_EQ(FENO_ReadBlockISO15693(handle(), 3, 0, 0, nullptr, kTime, &out.length, out.data.data(), &out.status), 0);
    EXPECT_EQ(out.length, 0xFF);
    EXPECT_EQ(Bytes(out.data.begin(), out.data.begin() + 255), Bytes(list.begin(), list.begin() + 255));
    EXPECT_EQ(out.data[255], kUnset);
}

TEST_F(FenoCommands, InventoryAnswersAreCutIntoEntriesOfTheirOwnLength)
{
    const auto entry = [](std::uint8_t tag, std::uint8_t length) {
        Bytes e{0x10, length, 0x01, 0x00, 0x00, 0x00};
        for (std::uint8_t i = 0; i < length; ++i)
            e.push_back(static_cast<std::uint8_t>(tag * 16 + i));
        return e;
    };
    const auto inventory = [](Out& out) {
        return FENO_InventoryISO15693Ex(handle(), 1, 0, 1, 1, 0, 0, nullptr, kTime, &out.count, out.entries.data(),
                                        &out.status);
    };
    {
        SCOPED_TRACE("two 14-byte entries");
        answer(0x00, cat({entry(1, 8), entry(2, 8)}));
        Out out;
        EXPECT_EQ(inventory(out), 0);
        EXPECT_EQ(out.count, 2);
        EXPECT_EQ(out.entry(0, 14), entry(1, 8));
        EXPECT_EQ(out.entry(1, 14), entry(2, 8));
        EXPECT_EQ(out.entries[14], kUnset);
        EXPECT_EQ(out.entries[FENO_ENTRY_SIZE + 14], kUnset);
        EXPECT_EQ(out.entries[2 * FENO_ENTRY_SIZE], kUnset);
    }
    {
        SCOPED_TRACE("entries of other lengths");
        answer(0x00, cat({entry(1, 0), entry(2, 3), entry(3, 8)}));
        Out out;
        EXPECT_EQ(inventory(out), 0);
        EXPECT_EQ(out.count, 3);
        EXPECT_EQ(out.entry(0, 6), entry(1, 0));
        EXPECT_EQ(out.entry(1, 9), entry(2, 3));
        EXPECT_EQ(out.entry(2, 14), entry(3, 8));
    }
    {
        SCOPED_TRACE("empty answer");
        answer(0x00, {});
        Out out;
        EXPECT_EQ(inventory(out), 0);
        EXPECT_EQ(out.count, 0);
        EXPECT_EQ(out.status, 0x00);
        EXPECT_EQ(out.entries[0], kUnset);
    }
    {
        SCOPED_TRACE("an entry running past the end of the answer is dropped");
        Bytes cut = entry(2, 8);
        cut[1] = 0xF0;
        answer(0x00, cat({entry(1, 8), cut}));
        Out out;
        EXPECT_EQ(inventory(out), 0);
        EXPECT_EQ(out.count, 1);
        EXPECT_EQ(out.entries[FENO_ENTRY_SIZE], kUnset);
    }
    {
        SCOPED_TRACE("a lone last byte is no entry");
        answer(0x00, cat({entry(1, 8), {0x10}}));
        Out out;
        EXPECT_EQ(inventory(out), 0);
        EXPECT_EQ(out.count, 1);
    }
    {
        SCOPED_TRACE("42 six-byte entries, the most a 254-byte answer holds");
        Bytes many;
        for (std::uint8_t i = 0; i < 42; ++i)
            many = cat({many, {i, 0, 0, 0, 0, 0}});
        many.insert(many.end(), {0xAA, 0xBB}); // two bytes left over
        answer(QVL_STATUS_NO_TAG, many);
        Out out;
        EXPECT_EQ(inventory(out), 0);
        EXPECT_EQ(out.count, 42);
        EXPECT_EQ(out.status, QVL_STATUS_NO_TAG);
        EXPECT_EQ(out.entries[41 * FENO_ENTRY_SIZE], 41);
        EXPECT_EQ(out.entries[42 * FENO_ENTRY_SIZE], kUnset);
    }
    {
        SCOPED_TRACE("an answer announced as a block list is cut as 255 plain bytes");
        // Its first block (254 bytes) reads as one entry of 6 + 249 bytes.
        Bytes list{0xFE, 249};
        list.resize(255, 0x77);
        list.push_back(0xFF);
        answer(0x00, list, 0xFF);
        Out out;
        EXPECT_EQ(FENO_GenericCommandISO15693Ex(handle(), 0, 0, 0, 0, nullptr, 1, kTime, &out.count, out.entries.data(),
                                                &out.status),
                  0);
        EXPECT_EQ(out.count, 1);
        EXPECT_EQ(out.entry(0, 255), Bytes(list.begin(), list.begin() + 255));
        EXPECT_EQ(out.entries[255], kUnset);
    }
}

TEST_F(FenoCommands, CheckEasReadsTheFirstAnswerByte)
{
    for (const auto& [data, flag] : std::vector<std::pair<Bytes, std::int32_t>>{
             {{}, 0}, {{0x00}, 0}, {{0x00, 0x01}, 0}, {{0x01}, 1}, {{0x80, 0x00}, 1}}) {
        SCOPED_TRACE(data.size());
        answer(0x00, data);
        Out out;
        EXPECT_EQ(FENO_CheckEASCHMISO15693(handle(), 0, 0, nullptr, 1, 0, kTime, &out.flag, &out.status), 0);
        EXPECT_EQ(out.flag, flag);
    }
}

TEST_F(FenoCommands, FailedExchangesWriteNoOutput)
{
    ASSERT_EQ(QVL_SetTimeout(handle(), 100), 1);
    silence();
    silence();
    silence();
    Out out;
    EXPECT_EQ(FENO_ReadBlockISO15693(handle(), 0, 0, 0, nullptr, kTime, &out.length, out.data.data(), &out.status),
              QVL_ERR_TIMEOUT);
    EXPECT_EQ(FENO_InventoryISO15693Ex(handle(), 1, 0, 1, 0, 0, 0, nullptr, kTime, &out.count, out.entries.data(),
                                       &out.status),
              QVL_ERR_TIMEOUT);
    EXPECT_EQ(FENO_CheckEASCHMISO15693(handle(), 0, 0, nullptr, 1, 0, kTime, &out.flag, &out.status), QVL_ERR_TIMEOUT);
    ASSERT_EQ(QVL_SetTimeout(handle(), QVL_DEFAULT_TIMEOUT_MS), 1);

    const std::size_t before = requestCount();
    for (const std::int32_t handle : {0, 17, handle() + 1}) {
        EXPECT_EQ(FENO_SetRf(handle, 1, &out.status), -8);
        EXPECT_EQ(FENO_WriteAfiISO15693(handle, 0x91, 0, 1, 1, 0, nullptr, kTime, &out.length, out.data.data(),
                                        &out.status),
                  -8);
        // The handle before the arguments: no QVL_STATUS_BAD_ARGUMENT for a command on no link.
        EXPECT_EQ(FENO_ReadBlockISO15693(handle, 0, 0, 2, nullptr, kTime, &out.length, out.data.data(), &out.status),
                  -8);
        EXPECT_EQ(FENO_StayQuietISO15693(handle, nullptr, kTime, &out.status), -8);
        EXPECT_EQ(FENO_InventoryISO15693Ex(handle, 1, 0, 1, 0, 0, 8, nullptr, kTime, &out.count, out.entries.data(),
                                           &out.status),
                  -8);
    }
    EXPECT_EQ(requestCount(), before);
    EXPECT_EQ(out.status, kUnset);
    EXPECT_EQ(out.length, kUnset);
    EXPECT_EQ(out.data[0], kUnset);
    EXPECT_EQ(out.count, -99);
    EXPECT_EQ(out.flag, -99);
}
