// The simulated second-make reader byte for byte through Reader::exchange():
// its framing and address, reader settings, inventories, tag commands on the
// air, transparent commands and the uniform faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/reader.h"
#include "test_bytes.h"

using namespace sim;
using simtest::Bytes;
using simtest::cat;
using simtest::uidBytes;

namespace {

// The test's own CRC-16/MCRF4XX, bit by bit from the definition.
std::uint16_t crc16(const Bytes& bytes)
{
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes)
        for (int i = 0; i < 8; ++i) {
            const bool low = ((crc ^ (byte >> i)) & 1) != 0;
            crc = static_cast<std::uint16_t>(crc >> 1);
            if (low)
                crc ^= 0x8408;
        }
    return crc;
}

Bytes withCrc(Bytes bytes)
{
    const std::uint16_t crc = crc16(bytes);
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

Bytes request(std::uint8_t address, std::uint8_t command, std::uint8_t state, const Bytes& data = {})
{
    return withCrc(cat({static_cast<std::uint8_t>(data.size() + 5), address, command, state}, data));
}

Bytes answer(std::uint8_t status, const Bytes& data = {}, std::uint8_t address = 0x00)
{
    return withCrc(cat({static_cast<std::uint8_t>(data.size() + 4), address, status}, data));
}

Bytes tagError(std::uint8_t code, std::uint8_t address = 0x00)
{
    return withCrc({0x05, address, 0x0F, code});
}

constexpr std::uint8_t kReader = 0xF0;
constexpr std::uint8_t kTransparent = 0xE0;
const Bytes kOk = answer(0x00);

const Uid kUid = *uidFromText("E004010012345678");
const Uid kUid2 = *uidFromText("E0040100AABBCCDD");
const Uid kUid3 = *uidFromText("E004010055667788");
const Uid kCounting = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};

std::unique_ptr<Reader> dalrixReader(const PersonalityOptions& options = {})
{
    std::string error;
    auto reader = Reader::create("dalrix", options, 0, &error);
    EXPECT_TRUE(reader) << error;
    return reader;
}

Tag blockTag(const Uid& uid)
{
    Tag tag(uid);
    for (int b = 0; b < tag.blockCount(); ++b)
        tag.setBlock(b, 0x11223300u + static_cast<std::uint32_t>(b));
    return tag;
}

class DalrixReader : public ::testing::Test {
protected:
    std::unique_ptr<Reader> reader_ = dalrixReader();
    Bytes ask(const Bytes& bytes) { return reader_->exchange(bytes); }
    Tag tag(const Uid& uid) const { return *reader_->tag(uid); }
};

} // namespace

TEST(DalrixFraming, CrcCheckValue)
{
    EXPECT_EQ(crc16({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x6F91);
}

TEST(DalrixFraming, ServedAt19200)
{
    auto reader = dalrixReader();
    EXPECT_EQ(reader->baud(), 19200);
    // At another line speed the bytes are garbage to the reader.
    reader->lineInput(request(0xFF, 0x00, kReader), 9600, 0);
    EXPECT_EQ(reader->ignoredBytes(), 6u);
    EXPECT_FALSE(reader->nextDueUs());
}

TEST_F(DalrixReader, EdgeVectorsOfTheProtocol)
{
    reader_->place(Tag(kCounting));
    // Reader information to any reader, from address 0: version 01 05,
    // reader type, protocols, antenna ports, largest answer data, scan time 1 s.
    const Bytes info{0x05, 0xFF, 0x00, 0xF0, 0x0A, 0x5C};
    EXPECT_EQ(ask(info), answer(0x00, {0x01, 0x05, 0x20, 0x01, 0x04, 0x00, 0xFB, 0x0A}));
    EXPECT_EQ(ask({0x05, 0x00, 0x01, 0xF0, 0x21, 0x83}), (Bytes{0x04, 0x00, 0x00, 0x52, 0x5A})) << "CloseRf";
    EXPECT_FALSE(reader_->rfOn());
    EXPECT_EQ(ask({0x05, 0x00, 0x02, 0xF0, 0x49, 0xA9}), kOk) << "OpenRf";
    EXPECT_TRUE(reader_->rfOn());

    // A stream inventory finds the tag and closes with status 1.
    EXPECT_EQ(ask({0x05, 0x00, 0x01, 0x06, 0x98, 0x11}),
              cat({0x0D, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x49, 0xFB},
                  {0x04, 0x00, 0x01, 0xDB, 0x4B}));
    EXPECT_EQ(ask({0x06, 0x00, 0x01, 0x07, 0x07, 0x7B, 0x68}), Bytes({0x04, 0x00, 0x01, 0xDB, 0x4B}))
        << "AFI 7 leaves out a tag of AFI 0";

    // Block 3 addressed (UID most significant first) and non-addressed.
    reader_->editTag(kCounting, [](Tag& t) { t.setBlock(3, 0x44332211); });
    const Bytes block3 = answer(0x00, {0x00, 0x11, 0x22, 0x33, 0x44});
    EXPECT_EQ(ask({0x0E, 0x00, 0x20, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x03, 0xD8, 0x01}), block3);
    EXPECT_EQ(ask({0x06, 0x00, 0x20, 0x01, 0x03, 0x68, 0x23}), block3);

    // A block the tag does not have: status 0x0F with the tag's error code 0x10.
    EXPECT_EQ(ask(request(0x00, 0x20, 0x01, {0x40})), (Bytes{0x05, 0x00, 0x0F, 0x10, 0x3F, 0xFE}));
}

TEST_F(DalrixReader, AddressAnyReaderAndWriteComAdr)
{
    EXPECT_TRUE(ask(request(0x07, 0x00, kReader)).empty()) << "another reader's address";
    Bytes bad = request(0x00, 0x00, kReader);
    bad[bad.size() - 2] ^= 0x01;
    EXPECT_TRUE(ask(bad).empty()) << "wrong CRC";

    EXPECT_EQ(ask(request(0xFF, 0x03, kReader, {0x05})), answer(0x00, {}, 0x05)) << "answered from the new address";
    EXPECT_TRUE(ask(request(0x00, 0x02, kReader)).empty()) << "the old address is gone";
    EXPECT_EQ(ask(request(0x05, 0x02, kReader)), answer(0x00, {}, 0x05));
    EXPECT_EQ(ask(request(0xFF, 0x02, kReader)), answer(0x00, {}, 0x05));
    EXPECT_EQ(ask(request(0x05, 0x03, kReader, {0xFF})), answer(0xFF, {}, 0x05)) << "0xFF is no address";

    // Noise before a request is skipped; a length byte too small is no frame.
    EXPECT_EQ(ask(cat({0x00, 0x03}, request(0x05, 0x02, kReader))), answer(0x00, {}, 0x05));
}

TEST_F(DalrixReader, ScanTimeAndReaderSettings)
{
    EXPECT_EQ(ask(request(0x00, 0x04, kReader, {0x14})), kOk);
    EXPECT_EQ(ask(request(0x00, 0x00, kReader)), answer(0x00, {0x01, 0x05, 0x20, 0x01, 0x04, 0x00, 0xFB, 0x14}));
    EXPECT_EQ(ask(request(0x00, 0x04, kReader, {0x02})), answer(0xFF)) << "below 300 ms";
    EXPECT_EQ(ask(request(0x00, 0x04, kReader)), answer(0xFF));

    struct Pair {
        std::uint8_t set, get;
    };
    for (const Pair& p : {Pair{0x0C, 0x0D}, Pair{0x0E, 0x0F}, Pair{0x70, 0x71}, Pair{0x80, 0x90}}) {
        SCOPED_TRACE(std::to_string(p.set));
        EXPECT_EQ(ask(request(0x00, p.set, kReader, {0x5A})), kOk);
        EXPECT_EQ(ask(request(0x00, p.get, kReader)), answer(0x00, {0x5A}));
        EXPECT_EQ(ask(request(0x00, p.get, kReader, {0x01})), answer(0xFF));
        EXPECT_EQ(ask(request(0x00, p.set, kReader, {0x01, 0x02})), answer(0xFF));
    }
    const Bytes mode{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    EXPECT_EQ(ask(request(0x00, 0x0A, kReader, mode)), kOk);
    EXPECT_EQ(ask(request(0x00, 0x0B, kReader)), answer(0x00, mode));
    EXPECT_EQ(ask(request(0x00, 0x0A, kReader, {1, 2})), answer(0xFF));
    EXPECT_EQ(ask(request(0x00, 0x55, kReader)), answer(0xFE)) << "unknown command";
}

TEST(DalrixOutputs, OutputAndRelayPersistAndInputsComeFromTheOptions)
{
    PersonalityOptions options;
    options.extra["input"] = "A5";
    auto reader = dalrixReader(options);
    std::vector<std::string> lines;
    reader->setLog([&](const std::string& line) { lines.push_back(line); });
    EXPECT_EQ(reader->exchange(request(0x00, 0x05, kReader, {0x03})), kOk);
    EXPECT_EQ(reader->exchange(request(0x00, 0x07, kReader, {0x01})), kOk);
    EXPECT_EQ(reader->exchange(request(0x00, 0x06, kReader)), answer(0x00, {0xA5}));
    EXPECT_EQ(reader->exchange(request(0x00, 0x06, kReader)), answer(0x00, {0xA5}));
    const auto logged = [&](const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    EXPECT_TRUE(logged("general output now 03"));
    EXPECT_TRUE(logged("relay now 01"));
}

TEST(DalrixOptions, AddressScanTimeVersionAntenna)
{
    PersonalityOptions options;
    options.address = 0x21;
    options.extra = {{"scantime", "30"}, {"version", "0210"}};
    auto reader = dalrixReader(options);
    EXPECT_EQ(reader->exchange(request(0xFF, 0x00, kReader)),
              answer(0x00, {0x02, 0x10, 0x20, 0x01, 0x04, 0x00, 0xFB, 30}, 0x21));

    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"scantime", "2"}, {"version", "12"}, {"input", "100"}, {"antenna", "5"}, {"colour", "red"}}) {
        PersonalityOptions bad;
        bad.extra[key] = value;
        EXPECT_FALSE(Reader::create("dalrix", bad)) << key << "=" << value;
    }
    PersonalityOptions broadcast;
    broadcast.address = 0xFF;
    EXPECT_FALSE(Reader::create("dalrix", broadcast));
}

TEST_F(DalrixReader, AntennaSelectionReachesTheTagsOnlyOnTheirAntenna)
{
    reader_->place(Tag(kUid));
    EXPECT_EQ(ask(request(0x00, 0x09, kReader)), answer(0x00, {0x01}));
    EXPECT_EQ(ask(request(0x00, 0x08, kReader, {0x02})), kOk);
    EXPECT_EQ(ask(request(0x00, 0x09, kReader)), answer(0x00, {0x02}));
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x0B)) << "no tag on antenna 2";
    EXPECT_EQ(ask(request(0x00, 0x20, 0x00, cat(uidBytes(kUid), {0x00}))), answer(0x0B));
    EXPECT_EQ(ask(request(0x00, 0x08, kReader, {0x01})), kOk);
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x00, cat({0x00}, uidBytes(kUid))));
    EXPECT_EQ(ask(request(0x00, 0x08, kReader, {0x00})), answer(0xFF));
    EXPECT_EQ(ask(request(0x00, 0x08, kReader, {0x05})), answer(0xFF));

    PersonalityOptions options;
    options.extra["antenna"] = "3";
    auto other = dalrixReader(options);
    other->place(Tag(kUid));
    EXPECT_EQ(other->exchange(request(0x00, 0x01, 0x00)), answer(0x0B));
    EXPECT_EQ(other->exchange(request(0x00, 0x08, kReader, {0x03})), kOk);
    EXPECT_EQ(other->exchange(request(0x00, 0x01, 0x00)), answer(0x00, cat({0x00}, uidBytes(kUid))));
}

TEST_F(DalrixReader, SingleAnswerInventory)
{
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x0B)) << "no tag";
    Tag tag(kUid2);
    tag.setDsfid(0x3C);
    tag.setAfi(0x92);
    reader_->place(tag);
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x00, cat({0x3C}, uidBytes(kUid2))));
    EXPECT_EQ(ask(request(0x00, 0x01, 0x01, {0x91})), answer(0x0B)) << "AFI 0x91 only";
    EXPECT_EQ(ask(request(0x00, 0x01, 0x01, {0x92})), answer(0x00, cat({0x3C}, uidBytes(kUid2))));

    // Several tags: the reader answers the first it finds.
    reader_->place(Tag(kUid));
    const Bytes one = ask(request(0x00, 0x01, 0x00));
    ASSERT_EQ(one.size(), 3u + 9 + 2);
    EXPECT_EQ(one[2], 0x00);

    EXPECT_EQ(ask(request(0x00, 0x01, 0x01)), answer(0xFF)) << "type 1 needs its AFI";
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00, {0x91})), answer(0xFF));
    for (std::uint8_t type : {4, 5, 8, 0x10})
        EXPECT_EQ(ask(request(0x00, 0x01, type)), answer(0xFE)) << int(type);

    EXPECT_EQ(ask(request(0x00, 0x01, kReader)), answer(0x00)) << "RF off (reader command 01)";
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x0B)) << "nothing answers with the field off";
}

TEST_F(DalrixReader, StreamInventoryFrameByFrame)
{
    for (const Uid& uid : {kUid, kUid2, kUid3})
        reader_->place(Tag(uid));
    for (std::uint8_t type : {2, 6}) {
        SCOPED_TRACE(int(type));
        const Bytes all = ask(request(0x00, 0x01, type));
        ASSERT_EQ(all.size(), 3 * 14u + 5);
        std::vector<Uid> found;
        for (std::size_t at = 0; at < 3 * 14; at += 14) {
            const Bytes frame(all.begin() + static_cast<std::ptrdiff_t>(at), all.begin() + static_cast<std::ptrdiff_t>(at + 14));
            EXPECT_EQ(frame, answer(0x00, Bytes(frame.begin() + 3, frame.begin() + 12)));
            Uid uid;
            std::copy(frame.begin() + 4, frame.begin() + 12, uid.begin());
            found.push_back(uid);
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, (std::vector<Uid>{kUid, kUid3, kUid2}));
        EXPECT_EQ(Bytes(all.end() - 5, all.end()), answer(0x01));
    }
    reader_->editTag(kUid2, [](Tag& t) { t.setAfi(0x91); });
    EXPECT_EQ(ask(request(0x00, 0x01, 0x03, {0x91})), cat(answer(0x00, cat({0x00}, uidBytes(kUid2))), answer(0x01)));
    reader_->removeAll();
    EXPECT_EQ(ask(request(0x00, 0x01, 0x07, {0x91})), answer(0x01)) << "only the closing frame";
}

TEST(DalrixStream, FramesArePacedByTheAirTimeOfTheSearch)
{
    auto reader = dalrixReader();
    reader->place(Tag(kUid));
    reader->place(Tag(kUid2));
    const std::uint64_t t0 = 1'000'000;
    reader->lineInput(request(0x00, 0x01, 0x02), 19200, t0);
    // Each frame waits its share of the search (16-slot rounds of
    // milliseconds), so none is due at once and they come one by one.
    EXPECT_TRUE(reader->lineOutput(t0).bytes.empty());
    std::vector<std::uint64_t> arrivals;
    Bytes all;
    for (std::uint64_t t = t0; t < t0 + 1'000'000 && all.size() < 2 * 14 + 5; t += 100) {
        const Bytes got = reader->lineOutput(t).bytes;
        if (!got.empty())
            arrivals.push_back(t - t0);
        all.insert(all.end(), got.begin(), got.end());
    }
    ASSERT_EQ(all.size(), 2 * 14u + 5);
    ASSERT_EQ(arrivals.size(), 3u) << "three frames at three moments";
    EXPECT_GT(arrivals[0], 1000u) << "us before the first tag";
    EXPECT_LT(arrivals[2], 200'000u);
}

TEST_F(DalrixReader, ReadAndWriteBlocksInTheTagsOrder)
{
    reader_->place(blockTag(kUid));
    const Bytes uid = uidBytes(kUid);
    // The write's bytes land in the tag as they come: byte 0 first.
    EXPECT_EQ(ask(request(0x00, 0x21, 0x00, cat(uid, {0x02, 0xD0, 0xD1, 0xD2, 0xD3}))), kOk);
    EXPECT_EQ(tag(kUid).block(2), 0xD3D2D1D0u);
    EXPECT_EQ(ask(request(0x00, 0x21, 0x01, {0x03, 0xA0, 0xA1, 0xA2, 0xA3})), kOk) << "non-addressed";
    EXPECT_EQ(tag(kUid).block(3), 0xA3A2A1A0u);

    EXPECT_EQ(ask(request(0x00, 0x22, 0x00, cat(uid, {0x01}))), kOk);
    EXPECT_TRUE(tag(kUid).blockLocked(1));
    EXPECT_EQ(ask(request(0x00, 0x22, 0x00, cat(uid, {0x01}))), tagError(0x11)) << "already locked";
    EXPECT_EQ(ask(request(0x00, 0x21, 0x08, cat(uid, {0x01, 1, 2, 3, 4}))), tagError(0x12)) << "locked";

    // Blocks 0 to 3 with their security status; N counts every block.
    EXPECT_EQ(ask(request(0x00, 0x23, 0x00, cat(uid, {0x00, 0x04}))),
              answer(0x00, {0x00, 0x00, 0x33, 0x22, 0x11, 0x01, 0x01, 0x33, 0x22, 0x11, 0x00, 0xD0, 0xD1, 0xD2,
                            0xD3, 0x00, 0xA0, 0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(ask(request(0x00, 0x20, 0x00, cat(uid, {0x01}))), answer(0x00, {0x01, 0x01, 0x33, 0x22, 0x11}));
    EXPECT_EQ(ask(request(0x00, 0x23, 0x00, cat(uid, {0x00, 0x00}))), answer(0xFF)) << "no blocks";
    EXPECT_EQ(ask(request(0x00, 0x23, 0x00, cat(uid, {0x1A, 0x03}))), tagError(0x10)) << "past block 27";
    // State 0 without a UID: to whichever tag answers (the lock query of blocks 0 to 7).
    EXPECT_EQ(ask(request(0x00, 0x20, 0x00, {0x01})), answer(0x00, {0x01, 0x01, 0x33, 0x22, 0x11}));
    const Bytes statuses = ask(request(0x00, 0x23, 0x00, {0x00, 0x08}));
    ASSERT_EQ(statuses.size(), 3u + 40 + 2);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(statuses[3 + 5 * i], i == 1 ? 0x01 : 0x00) << "block " << i;
    EXPECT_EQ(ask(request(0x00, 0x23, 0x00, {0x00, 0x08, 0x01})), answer(0xFF)) << "neither with nor without UID";

    // Another tag's UID: nobody answers.
    EXPECT_EQ(ask(request(0x00, 0x20, 0x00, cat(uidBytes(kUid2), {0x01}))), answer(0x0B));
}

TEST(DalrixBlocks, EightByteBlocksAndAnswersTooLongForAFrame)
{
    auto reader = dalrixReader();
    Tag wide(kUid, 28, 8);
    reader->place(wide);
    const Bytes uid = uidBytes(kUid);
    const Bytes eight{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(reader->exchange(request(0x00, 0x21, 0x04, cat(cat(uid, {0x05}), eight))), kOk);
    EXPECT_EQ(reader->exchange(request(0x00, 0x20, 0x04, cat(uid, {0x05}))), answer(0x00, cat({0x00}, eight)));
    EXPECT_EQ(reader->exchange(request(0x00, 0x21, 0x04, cat(uid, {0x05, 1, 2, 3, 4}))), answer(0x0B))
        << "the tag ignores a block of the wrong size";

    reader->removeAll();
    reader->place(Tag(kUid2, 64));
    // 60 blocks of 5 bytes do not fit in one answer.
    EXPECT_EQ(reader->exchange(request(0x00, 0x23, 0x01, {0x00, 60})), answer(0xFF));
    EXPECT_EQ(reader->exchange(request(0x00, 0x23, 0x01, {0x00, 50})).size(), 3u + 250 + 2);
}

TEST_F(DalrixReader, AfiDsfidAndSystemInformation)
{
    reader_->place(Tag(kUid));
    const Bytes uid = uidBytes(kUid);
    EXPECT_EQ(ask(request(0x00, 0x27, 0x00, cat(uid, {0x91}))), kOk);
    EXPECT_EQ(ask(request(0x00, 0x29, 0x01, {0x3C})), kOk);
    EXPECT_EQ(tag(kUid).afi(), 0x91);
    EXPECT_EQ(tag(kUid).dsfid(), 0x3C);
    EXPECT_EQ(ask(request(0x00, 0x28, 0x00, uid)), kOk);
    EXPECT_EQ(ask(request(0x00, 0x2A, 0x00, uid)), kOk);
    EXPECT_TRUE(tag(kUid).afiLocked());
    EXPECT_TRUE(tag(kUid).dsfidLocked());
    EXPECT_EQ(ask(request(0x00, 0x27, 0x00, cat(uid, {0x92}))), tagError(0x12));
    EXPECT_EQ(ask(request(0x00, 0x29, 0x00, cat(uid, {0x00}))), tagError(0x12));
    EXPECT_EQ(ask(request(0x00, 0x27, 0x00, uid)), answer(0xFF)) << "no AFI byte";

    // Flags, UID most significant first, DSFID, AFI, memory size, IC reference.
    EXPECT_EQ(ask(request(0x00, 0x2B, 0x00, uid)),
              answer(0x00, cat(cat({0x0F}, uid), {0x3C, 0x91, 0x1B, 0x03, 0x01})));
}

TEST_F(DalrixReader, SelectStayQuietAndResetToReady)
{
    reader_->place(blockTag(kUid));
    reader_->place(blockTag(kUid2));
    const Bytes uid = uidBytes(kUid);
    // The select mode (state 2) reaches no one until a tag is selected.
    EXPECT_EQ(ask(request(0x00, 0x20, 0x02, {0x04})), answer(0x0B));
    EXPECT_EQ(ask(request(0x00, 0x25, 0x00, uid)), kOk);
    EXPECT_EQ(tag(kUid).state(), Tag::State::Selected);
    EXPECT_EQ(ask(request(0x00, 0x21, 0x02, {0x04, 9, 9, 9, 9})), kOk);
    EXPECT_EQ(tag(kUid).block(4), 0x09090909u);
    EXPECT_EQ(tag(kUid2).block(4), 0x11223304u);
    EXPECT_EQ(ask(request(0x00, 0x25, 0x00, uidBytes(kUid3))), answer(0x0B)) << "no such tag";

    // Quiet tags drop out of inventories until reset to ready.
    EXPECT_EQ(ask(request(0x00, 0x02, 0x00, uidBytes(kUid2))), kOk);
    EXPECT_EQ(tag(kUid2).state(), Tag::State::Quiet);
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x00, cat({0x00}, uid)));
    EXPECT_EQ(ask(request(0x00, 0x26, 0x00, uidBytes(kUid2))), kOk);
    EXPECT_EQ(tag(kUid2).state(), Tag::State::Ready);
    EXPECT_EQ(ask(request(0x00, 0x02, 0x00)), kOk) << "without the UID no tag takes it";
    EXPECT_EQ(tag(kUid).state(), Tag::State::Ready);
    EXPECT_EQ(ask(request(0x00, 0x25, 0x00)), answer(0x0B)) << "nor a select";
    EXPECT_EQ(ask(request(0x00, 0x24, 0x00, uid)), answer(0xFE)) << "unknown tag command";
}

TEST_F(DalrixReader, TransparentEasCommands)
{
    Tag on(kUid);
    on.setEas(true);
    Tag off(kUid2);
    Tag without(kUid3);
    without.setEasSupported(false);

    // The alarm query: P = 35 air bytes (flags, 32-byte sequence, CRC).
    const Bytes query = request(0x00, 0x02, kTransparent, {0x23, 0x03, 0xA5, 0x04});
    reader_->place(on);
    Bytes alarm{0x00};
    const auto sequence = Tag::easSequence();
    alarm.insert(alarm.end(), sequence.begin(), sequence.end());
    EXPECT_EQ(ask(query), answer(0x00, alarm));
    EXPECT_EQ(ask(request(0x00, 0x02, kTransparent, {0x22, 0x03, 0xA5, 0x04})), answer(0xFF))
        << "the tag's answer is longer than P";

    reader_->removeAll();
    reader_->place(off);
    EXPECT_EQ(ask(query), answer(0x0B)) << "EAS off: the chip stays silent";
    reader_->removeAll();
    reader_->place(without);
    EXPECT_EQ(ask(query), tagError(0x01)) << "a chip without EAS refuses";

    // Set, reset, lock through the write: listen 6.8 ms, P = 3 (flags, CRC).
    const auto write = [&](std::uint8_t command, std::uint8_t listen = 0x44) {
        return ask(request(0x00, 0x03, kTransparent, {0x00, listen, 0x00, 0x00, 0x03, 0x03, command, 0x04}));
    };
    reader_->removeAll();
    reader_->place(off);
    EXPECT_EQ(write(0xA2), answer(0x00, {0x00}));
    EXPECT_TRUE(tag(kUid2).eas());
    EXPECT_EQ(ask(query), answer(0x00, alarm));
    EXPECT_EQ(write(0xA3), answer(0x00, {0x00}));
    EXPECT_FALSE(tag(kUid2).eas());
    EXPECT_EQ(write(0xA2, 0x10), answer(0x0B)) << "1.6 ms is shorter than the programming time";
    EXPECT_TRUE(tag(kUid2).eas()) << "though the tag did it";
    EXPECT_EQ(write(0xA4), answer(0x00, {0x00}));
    EXPECT_TRUE(tag(kUid2).easLocked());
    EXPECT_EQ(write(0xA3), tagError(0x12));

    // The customised form: two listening bytes, P, the request.
    EXPECT_EQ(ask(request(0x00, 0x04, kTransparent, {0x00, 0x44, 0x23, 0x03, 0xA5, 0x04})), answer(0x00, alarm));
    // A write request through the read is not heard: it listens 1 ms only.
    EXPECT_EQ(ask(request(0x00, 0x02, kTransparent, {0x03, 0x03, 0xA4, 0x04})), answer(0x0B));
    EXPECT_EQ(ask(request(0x00, 0x02, kTransparent, {0x23, 0x03})), answer(0xFF)) << "no command code";
    EXPECT_EQ(ask(request(0x00, 0x07, kTransparent, {0x23, 0x03, 0xA5, 0x04})), answer(0xFE));
}

TEST_F(DalrixReader, UniformFaults)
{
    reader_->place(Tag(kUid));
    const Bytes rfOn = request(0x00, 0x02, kReader);

    reader_->addFault(Fault::statusByte(0x05, 2));
    EXPECT_EQ(ask(rfOn), answer(0x05));
    EXPECT_EQ(ask(request(0x00, 0x01, 0x06)), answer(0x05)) << "a stream too";
    reader_->addFault(Fault::statusByte(0x0F));
    EXPECT_EQ(ask(rfOn), tagError(0x0F)) << "status 0x0F carries an error code";
    reader_->addFault(Fault::statusByte(0x05));
    EXPECT_TRUE(ask(request(0x09, 0x02, kReader)).empty()) << "another reader's request stays unanswered";
    reader_->clearFaults();

    reader_->addFault(Fault::wrongCrc());
    Bytes corrupted = ask(rfOn);
    ASSERT_EQ(corrupted.size(), 5u);
    EXPECT_NE(corrupted, kOk);
    EXPECT_EQ(Bytes(corrupted.begin(), corrupted.begin() + 3), Bytes(kOk.begin(), kOk.begin() + 3));

    reader_->addFault(Fault::wrongCrc().onFrame(1));
    const Bytes stream = ask(request(0x00, 0x01, 0x02));
    ASSERT_EQ(stream.size(), 14u + 5);
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 14), answer(0x00, cat({0x00}, uidBytes(kUid))));
    EXPECT_NE(Bytes(stream.begin() + 14, stream.end()), answer(0x01)) << "only the closing frame spoilt";

    reader_->addFault(Fault::silence());
    EXPECT_TRUE(ask(rfOn).empty());
    reader_->addFault(Fault::cutShort());
    EXPECT_EQ(ask(rfOn), Bytes(kOk.begin(), kOk.begin() + 2));
    reader_->addFault(Fault::noiseBytes({0xAA, 0x55}));
    EXPECT_EQ(ask(rfOn), cat({0xAA, 0x55}, kOk));

    // The tag leaves right after answering the inventory.
    reader_->addFault(Fault::tagsLeave());
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x00, cat({0x00}, uidBytes(kUid))));
    EXPECT_EQ(ask(request(0x00, 0x01, 0x00)), answer(0x0B));
    EXPECT_EQ(reader_->shelf().size(), 1u);
    EXPECT_EQ(reader_->commandCount(0x01), 4u);
}
