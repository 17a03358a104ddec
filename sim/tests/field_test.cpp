// The field: several tags on one antenna, collisions, complete inventories,
// the RF field, air time and the tags-leave fault support.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "sim/field.h"

using namespace sim;
using namespace sim::iso;
using Bytes = std::vector<std::uint8_t>;

namespace {

Tag makeTag(std::uint64_t uidValueBits, std::uint8_t afi = 0)
{
    Tag tag(uidFromValue(0xE004000000000000ull | uidValueBits));
    tag.setAfi(afi);
    return tag;
}

std::set<Uid> uidsOf(const std::vector<Field::Found>& found)
{
    std::set<Uid> out;
    for (const auto& f : found)
        out.insert(f.uid);
    return out;
}

} // namespace

TEST(Field, AnswersSuperposeOrCollide)
{
    Field field;
    EXPECT_TRUE(field.transact(request(kFlagHighDataRate, kGetSystemInformation)).silent());
    Tag a = makeTag(0x11);
    Tag b = makeTag(0x22);
    ASSERT_TRUE(field.place(a));
    EXPECT_FALSE(field.place(a)) << "one UID once";
    ASSERT_TRUE(field.place(b));

    // Both acknowledge a non-addressed write with the same byte: a clean answer.
    const auto write = field.transact(request(kFlagHighDataRate, kWriteSingleBlock, nullptr, Bytes{0, 1, 2, 3, 4}));
    EXPECT_TRUE(write.answered());
    EXPECT_EQ(write.answers, 2);
    EXPECT_EQ(write.bytes, Bytes{0x00});
    EXPECT_EQ(field.find(a.uid())->block(0), 0x04030201u);
    EXPECT_EQ(field.find(b.uid())->block(0), 0x04030201u);

    // Different UIDs in the answers: a collision.
    const auto info = field.transact(request(kFlagHighDataRate, kGetSystemInformation));
    EXPECT_TRUE(info.collided());
    EXPECT_TRUE(info.bytes.empty());
    // Addressed: one answer.
    const auto one = field.transact(request(kFlagHighDataRate | kFlagAddress, kGetSystemInformation, &b.uid()));
    ASSERT_TRUE(one.answered());
    EXPECT_EQ(uidFromAir(std::span(one.bytes).subspan(2)), b.uid());
}

TEST(Field, InventoryFindsEveryTagThroughCollisions)
{
    for (const std::uint8_t flags : {std::uint8_t{kFlagHighDataRate}, std::uint8_t{kFlagHighDataRate | kFlagOneSlot}}) {
        for (const int count : {0, 1, 3, 40}) {
            SCOPED_TRACE("flags " + std::to_string(flags) + ", " + std::to_string(count) + " tags");
            Field field;
            std::set<Uid> placed;
            for (int i = 0; i < count; ++i) {
                // Low bits shared by many tags force deep collision rounds.
                const std::uint64_t bits = (std::uint64_t(i) << 40) | (i % 3 == 0 ? 0x5555 : 0x1234 + i);
                Tag tag = makeTag(bits);
                placed.insert(tag.uid());
                ASSERT_TRUE(field.place(tag));
            }
            const auto found = field.inventory(flags);
            EXPECT_EQ(found.size(), placed.size());
            EXPECT_EQ(uidsOf(found), placed);
            EXPECT_GT(field.requestCount(kInventory), 0u);
        }
    }
}

TEST(Field, InventoryStartingFromAMaskFindsOnlyTagsEndingInIt)
{
    for (const std::uint8_t flags : {std::uint8_t{kFlagHighDataRate}, std::uint8_t{kFlagHighDataRate | kFlagOneSlot}}) {
        Field field;
        for (const std::uint64_t bits : {0x0A5u, 0x1A5u, 0x2A5u, 0x0B5u, 0x3C4u})
            ASSERT_TRUE(field.place(makeTag(bits)));
        // Low byte 0xA5: three tags whose next bits collide in the first round.
        EXPECT_EQ(uidsOf(field.inventory(flags, std::nullopt, 8, 0xA5)),
                  (std::set<Uid>{makeTag(0x0A5).uid(), makeTag(0x1A5).uid(), makeTag(0x2A5).uid()}));
        // Bits above the mask length are not part of the mask.
        EXPECT_EQ(field.inventory(flags, std::nullopt, 4, 0xF4).size(), 1u);
        EXPECT_TRUE(field.inventory(flags, std::nullopt, 12, 0xFA5).empty());
    }
}

TEST(Field, InventoryWithAfiAndQuietTags)
{
    Field field;
    field.place(makeTag(0x01, 0x91));
    field.place(makeTag(0x02, 0x92));
    field.place(makeTag(0x03, 0x00));
    EXPECT_EQ(field.inventory(kFlagHighDataRate).size(), 3u);
    EXPECT_EQ(field.inventory(kFlagHighDataRate, 0x00).size(), 3u);
    EXPECT_EQ(field.inventory(kFlagHighDataRate, 0x91).size(), 1u);
    EXPECT_EQ(field.inventory(kFlagHighDataRate, 0x90).size(), 2u);
    EXPECT_EQ(field.inventory(kFlagHighDataRate, 0x93).size(), 0u);
    const Uid quiet = makeTag(0x02).uid();
    field.transact(request(kFlagHighDataRate | kFlagAddress, kStayQuiet, &quiet));
    EXPECT_EQ(field.inventory(kFlagHighDataRate).size(), 2u);
}

TEST(Field, RfOffSilencesTagsAndClearsTheirState)
{
    Field field;
    Tag tag = makeTag(0x42);
    const Uid uid = tag.uid();
    field.place(tag);
    field.transact(request(kFlagHighDataRate | kFlagAddress, kStayQuiet, &uid));
    EXPECT_EQ(field.find(uid)->state(), Tag::State::Quiet);
    field.setRf(false);
    EXPECT_TRUE(field.transact(inventoryRequest(kFlagHighDataRate | kFlagOneSlot)).silent());
    EXPECT_TRUE(field.inventory(kFlagHighDataRate).empty());
    field.setRf(true);
    EXPECT_EQ(field.inventory(kFlagHighDataRate).size(), 1u) << "power-up: ready again";
    // A tag laid on a switched-off field powers up with the field.
    field.setRf(false);
    field.place(makeTag(0x43));
    EXPECT_EQ(field.find(makeTag(0x43).uid())->state(), Tag::State::PowerOff);
    field.setRf(true);
    EXPECT_EQ(field.find(makeTag(0x43).uid())->state(), Tag::State::Ready);
}

TEST(Field, RemovedTagsKeepTheirMemory)
{
    Field field;
    Tag tag = makeTag(0x42);
    const Uid uid = tag.uid();
    field.place(tag);
    field.transact(request(kFlagHighDataRate, kWriteSingleBlock, nullptr, Bytes{2, 9, 8, 7, 6}));
    auto removed = field.remove(uid);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->block(2), 0x06070809u);
    EXPECT_EQ(removed->state(), Tag::State::PowerOff);
    EXPECT_FALSE(field.find(uid));
    EXPECT_FALSE(field.remove(uid));
}

TEST(Field, AirTimeGrowsWithBytesAndWrites)
{
    Field field;
    field.place(makeTag(0x42));
    field.takeAirTimeNs();
    field.transact(request(kFlagHighDataRate, kReadSingleBlock, nullptr, Bytes{0}));
    const std::uint64_t read = field.takeAirTimeNs();
    field.transact(request(kFlagHighDataRate, kWriteSingleBlock, nullptr, Bytes{0, 1, 2, 3, 4}));
    const std::uint64_t write = field.takeAirTimeNs();
    field.transact(request(kFlagHighDataRate | kFlagAddress, kReadSingleBlock, &field.tags()[0].uid(), Bytes{0}));
    const std::uint64_t addressed = field.takeAirTimeNs();
    field.transact(request(0, kReadSingleBlock, nullptr, Bytes{0})); // low data rate answer
    const std::uint64_t slow = field.takeAirTimeNs();
    // Read: request 3+2 bytes, answer 5+2 bytes at about 0.3 ms a byte, plus framing.
    EXPECT_GT(read, 3'500'000u);
    EXPECT_LT(read, 5'000'000u);
    EXPECT_GE(write, read + AirTiming{}.programmingNs);
    EXPECT_GT(addressed, read + 8 * 300'000u);
    EXPECT_GT(slow, read + 7 * 3 * 300'000u);
    EXPECT_EQ(field.takeAirTimeNs(), 0u);
    EXPECT_EQ(field.requestCount(kReadSingleBlock), 3u);
    EXPECT_EQ(field.requestCount(kWriteSingleBlock), 1u);
}

TEST(Field, ArmedDepartureTakesEveryTagAfterTheFirstAnswer)
{
    Field field;
    field.place(makeTag(0x01));
    field.place(makeTag(0x02));
    field.armDeparture();
    EXPECT_TRUE(field.transact(request(kFlagHighDataRate | kFlagSelect, kReadSingleBlock, nullptr, Bytes{0})).silent());
    EXPECT_EQ(field.size(), 2u) << "no tag answered: nobody left yet";
    EXPECT_TRUE(field.transact(request(kFlagHighDataRate, kWriteSingleBlock, nullptr, Bytes{0, 1, 1, 1, 1})).answered());
    EXPECT_EQ(field.size(), 0u);
    EXPECT_TRUE(field.transact(request(kFlagHighDataRate, kWriteSingleBlock, nullptr, Bytes{1, 2, 2, 2, 2})).silent());
    const auto gone = field.takeDeparted();
    ASSERT_EQ(gone.size(), 2u);
    EXPECT_EQ(gone[0].block(0), 0x01010101u);
    EXPECT_EQ(gone[0].block(1), 0u);
    EXPECT_TRUE(field.takeDeparted().empty());
}
