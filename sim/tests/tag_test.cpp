// The tag model against ISO/IEC 15693-3 behaviour, request by request.
#include <gtest/gtest.h>

#include "sim/iso15693.h"
#include "sim/tag.h"

using namespace sim;
using namespace sim::iso;
using Bytes = std::vector<std::uint8_t>;

namespace {

const Uid kUid = *uidFromText("E004010012345678");
const Uid kOther = *uidFromText("E0040100AABBCCDD");
constexpr std::uint8_t kNonAddr = kFlagHighDataRate;                // 0x02
constexpr std::uint8_t kAddr = kFlagHighDataRate | kFlagAddress;    // 0x22
constexpr std::uint8_t kSel = kFlagHighDataRate | kFlagSelect;      // 0x12
constexpr std::uint8_t kOneSlot = kFlagHighDataRate | kFlagOneSlot; // inventory, one slot

Tag poweredTag(const Uid& uid = kUid)
{
    Tag tag(uid);
    tag.powerOn();
    return tag;
}

Bytes inventoryAnswer(const Tag& tag)
{
    Bytes out{0x00, tag.dsfid()};
    const auto air = uidToAir(tag.uid());
    out.insert(out.end(), air.begin(), air.end());
    return out;
}

std::optional<Bytes> readBlock(Tag& tag, std::uint8_t flags, int block, const Uid* uid = nullptr)
{
    const Bytes params{static_cast<std::uint8_t>(block)};
    return tag.air(request(flags, kReadSingleBlock, uid, params));
}

} // namespace

TEST(Uid, TextAndAirOrder)
{
    EXPECT_EQ(uidToText(kUid), "E004010012345678");
    EXPECT_EQ(uidFromText("e004010012345678"), kUid);
    EXPECT_FALSE(uidFromText("E00401001234567"));
    EXPECT_FALSE(uidFromText("E00401001234567G"));
    const auto air = uidToAir(kUid);
    EXPECT_EQ(Bytes(air.begin(), air.end()), (Bytes{0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0}));
    EXPECT_EQ(uidFromAir(air), kUid);
    EXPECT_EQ(uidValue(kUid), 0xE004010012345678ull);
    EXPECT_EQ(uidFromValue(0xE004010012345678ull), kUid);
}

TEST(TagMemory, BlocksAreHeldLeastSignificantByteFirst)
{
    Tag tag(kUid);
    EXPECT_EQ(tag.blockCount(), 28);
    ASSERT_TRUE(tag.setBlock(3, 0x11223344));
    EXPECT_EQ(Bytes(tag.blockBytes(3).begin(), tag.blockBytes(3).end()), (Bytes{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(tag.block(3), 0x11223344u);
    EXPECT_FALSE(tag.setBlock(28, 1));
    EXPECT_TRUE(tag.blockBytes(28).empty());
    // On the air the block travels in the tag's own order.
    tag.powerOn();
    EXPECT_EQ(readBlock(tag, kNonAddr, 3), (Bytes{0x00, 0x44, 0x33, 0x22, 0x11}));
}

TEST(TagState, PoweredOffTagsNeverAnswerAndLoseTheirState)
{
    Tag tag(kUid);
    EXPECT_EQ(tag.state(), Tag::State::PowerOff);
    EXPECT_FALSE(tag.air(inventoryRequest(kOneSlot)));
    tag.powerOn();
    EXPECT_EQ(tag.air(inventoryRequest(kOneSlot)), inventoryAnswer(tag));
    EXPECT_FALSE(tag.air(request(kAddr, kStayQuiet, &kUid)));
    EXPECT_EQ(tag.state(), Tag::State::Quiet);
    tag.powerOff();
    tag.powerOn();
    EXPECT_EQ(tag.state(), Tag::State::Ready);
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot)));
}

struct AfiCase {
    std::uint8_t tagAfi;
    std::optional<std::uint8_t> requested;
    bool answers;
};

class InventoryAfi : public ::testing::TestWithParam<AfiCase> {};

TEST_P(InventoryAfi, FollowsTheFamilyRules)
{
    const AfiCase c = GetParam();
    Tag tag = poweredTag();
    tag.setAfi(c.tagAfi);
    tag.setDsfid(0x5A);
    const auto answer = tag.air(inventoryRequest(kOneSlot, c.requested));
    if (c.answers)
        EXPECT_EQ(answer, inventoryAnswer(tag));
    else
        EXPECT_FALSE(answer);
}

INSTANTIATE_TEST_SUITE_P(Cases, InventoryAfi,
                         ::testing::Values(AfiCase{0x91, std::nullopt, true}, // no AFI in the request
                                           AfiCase{0x91, 0x00, true},         // AFI 0 matches every tag
                                           AfiCase{0x00, 0x00, true},
                                           AfiCase{0x91, 0x91, true},
                                           AfiCase{0x91, 0x92, false},
                                           AfiCase{0x91, 0x90, true},  // every sub-family of family 9
                                           AfiCase{0xA1, 0x90, false},
                                           AfiCase{0x00, 0x91, false}, // a tag with AFI 0 is not in family 9
                                           AfiCase{0x07, 0x07, true},
                                           AfiCase{0x17, 0x07, false}));

TEST(Inventory, MaskSelectsByTheLowUidBits)
{
    Tag tag = poweredTag(); // UID ...12345678
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot, std::nullopt, 8, 0x78)));
    EXPECT_FALSE(tag.air(inventoryRequest(kOneSlot, std::nullopt, 8, 0x79)));
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot, std::nullopt, 12, 0x678)));
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot, std::nullopt, 4, 0x8)));
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot, std::nullopt, 64, uidValue(kUid))));
    EXPECT_FALSE(tag.air(inventoryRequest(kOneSlot, std::nullopt, 64, uidValue(kOther))));
    // Malformed: mask longer than the UID, mask bytes missing or extra.
    EXPECT_FALSE(tag.air(Bytes{kOneSlot | kFlagInventory, kInventory, 65}));
    EXPECT_FALSE(tag.air(Bytes{kOneSlot | kFlagInventory, kInventory, 8}));
    EXPECT_FALSE(tag.air(Bytes{kOneSlot | kFlagInventory, kInventory, 0, 0x78}));
    // Without the inventory flag the inventory command is not an inventory.
    EXPECT_FALSE(tag.air(Bytes{kNonAddr, kInventory, 0}));
}

TEST(Inventory, SixteenSlotsAnswerInTheSlotOfTheNextFourUidBits)
{
    Tag tag = poweredTag(); // low nibble 8, next nibble 7
    EXPECT_FALSE(tag.air(inventoryRequest(kNonAddr)));
    for (int slot = 1; slot < 8; ++slot)
        EXPECT_FALSE(tag.air({})) << slot;
    EXPECT_EQ(tag.air({}), inventoryAnswer(tag)); // slot 8
    EXPECT_FALSE(tag.air({}));
    // With a 4-bit mask the slot comes from bits 4 to 7.
    EXPECT_FALSE(tag.air(inventoryRequest(kNonAddr, std::nullopt, 4, 0x8)));
    for (int slot = 1; slot < 7; ++slot)
        EXPECT_FALSE(tag.air({}));
    EXPECT_TRUE(tag.air({})); // slot 7
    // Another request ends the round.
    EXPECT_FALSE(tag.air(inventoryRequest(kNonAddr)));
    EXPECT_TRUE(tag.air(request(kNonAddr, kGetSystemInformation)));
    for (int slot = 1; slot < 16; ++slot)
        EXPECT_FALSE(tag.air({}));
    // A mask longer than 60 bits leaves no room for a slot number.
    EXPECT_FALSE(tag.air(inventoryRequest(kNonAddr, std::nullopt, 61, uidValue(kUid))));
}

TEST(Addressing, NonAddressedAddressedAndSelectedRequests)
{
    Tag tag = poweredTag();
    tag.setBlock(0, 0xCAFEF00D);
    const Bytes block0{0x00, 0x0D, 0xF0, 0xFE, 0xCA};
    EXPECT_EQ(readBlock(tag, kNonAddr, 0), block0);
    EXPECT_EQ(readBlock(tag, kAddr, 0, &kUid), block0);
    EXPECT_FALSE(readBlock(tag, kAddr, 0, &kOther)) << "addressed to another tag";
    EXPECT_FALSE(readBlock(tag, kSel, 0)) << "not selected yet";
    EXPECT_FALSE(readBlock(tag, kAddr | kFlagSelect, 0, &kUid)) << "address and select flags together";
    EXPECT_FALSE(tag.air(Bytes{kAddr, kReadSingleBlock, 0x78, 0x56})) << "UID cut short";

    // Select: only addressed, answers, and then select-flag requests reach it.
    EXPECT_FALSE(tag.air(request(kNonAddr, kSelect)));
    EXPECT_EQ(tag.air(request(kAddr, kSelect, &kUid)), Bytes{0x00});
    EXPECT_EQ(tag.state(), Tag::State::Selected);
    EXPECT_EQ(readBlock(tag, kSel, 0), block0);
    EXPECT_EQ(readBlock(tag, kNonAddr, 0), block0);
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot))) << "a selected tag still takes part in inventories";

    // Selecting another tag sends this one back to ready, silently.
    EXPECT_FALSE(tag.air(request(kAddr, kSelect, &kOther)));
    EXPECT_EQ(tag.state(), Tag::State::Ready);
    EXPECT_FALSE(readBlock(tag, kSel, 0));

    // Reset to ready through the select flag.
    tag.air(request(kAddr, kSelect, &kUid));
    EXPECT_EQ(tag.air(request(kSel, kResetToReady)), Bytes{0x00});
    EXPECT_EQ(tag.state(), Tag::State::Ready);
}

TEST(Addressing, QuietTagsAnswerOnlyAddressedRequests)
{
    Tag tag = poweredTag();
    EXPECT_FALSE(tag.air(request(kNonAddr, kStayQuiet))) << "stay quiet is never answered";
    EXPECT_EQ(tag.state(), Tag::State::Ready) << "a non-addressed stay quiet is ignored";
    EXPECT_FALSE(tag.air(request(kAddr, kStayQuiet, &kOther)));
    EXPECT_EQ(tag.state(), Tag::State::Ready);
    EXPECT_FALSE(tag.air(request(kAddr, kStayQuiet, &kUid)));
    EXPECT_EQ(tag.state(), Tag::State::Quiet);

    EXPECT_FALSE(tag.air(inventoryRequest(kOneSlot)));
    EXPECT_FALSE(readBlock(tag, kNonAddr, 0));
    EXPECT_FALSE(tag.air(request(kNonAddr, kResetToReady)));
    EXPECT_TRUE(readBlock(tag, kAddr, 0, &kUid));

    // Back to ready by an addressed reset, or straight to selected by Select.
    EXPECT_EQ(tag.air(request(kAddr, kResetToReady, &kUid)), Bytes{0x00});
    EXPECT_TRUE(tag.air(inventoryRequest(kOneSlot)));
    tag.air(request(kAddr, kStayQuiet, &kUid));
    EXPECT_EQ(tag.air(request(kAddr, kSelect, &kUid)), Bytes{0x00});
    EXPECT_EQ(tag.state(), Tag::State::Selected);
}

TEST(Blocks, ReadWithSecurityStatusWriteAndLock)
{
    Tag tag = poweredTag();
    const Bytes data{0x01, 0x02, 0x03, 0x04};
    Bytes write{5};
    write.insert(write.end(), data.begin(), data.end());
    EXPECT_EQ(tag.air(request(kAddr, kWriteSingleBlock, &kUid, write)), Bytes{0x00});
    EXPECT_EQ(tag.block(5), 0x04030201u);
    // The option flag puts the block security status before the data.
    EXPECT_EQ(readBlock(tag, kNonAddr | kFlagOption, 5), (Bytes{0x00, 0x00, 0x01, 0x02, 0x03, 0x04}));

    EXPECT_EQ(tag.air(request(kAddr | kFlagOption, kLockBlock, &kUid, Bytes{5})), Bytes{0x00});
    EXPECT_TRUE(tag.blockLocked(5));
    EXPECT_EQ(readBlock(tag, kNonAddr | kFlagOption, 5), (Bytes{0x00, 0x01, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(tag.air(request(kAddr, kLockBlock, &kUid, Bytes{5})), (Bytes{kResponseError, kErrAlreadyLocked}));
    const Bytes other{5, 9, 9, 9, 9};
    EXPECT_EQ(tag.air(request(kNonAddr, kWriteSingleBlock, nullptr, other)), (Bytes{kResponseError, kErrLocked}));
    EXPECT_EQ(tag.block(5), 0x04030201u) << "a locked block keeps its value";

    // Blocks that do not exist, and malformed lengths (the tag cannot parse them: silence).
    EXPECT_EQ(readBlock(tag, kNonAddr, 28), (Bytes{kResponseError, kErrBlockNotAvailable}));
    EXPECT_EQ(tag.air(request(kNonAddr, kWriteSingleBlock, nullptr, Bytes{28, 1, 2, 3, 4})),
              (Bytes{kResponseError, kErrBlockNotAvailable}));
    EXPECT_EQ(tag.air(request(kNonAddr, kLockBlock, nullptr, Bytes{200})),
              (Bytes{kResponseError, kErrBlockNotAvailable}));
    EXPECT_FALSE(tag.air(request(kNonAddr, kWriteSingleBlock, nullptr, Bytes{6, 1, 2, 3})));
    EXPECT_FALSE(tag.air(request(kNonAddr, kReadSingleBlock)));
}

TEST(Blocks, ReadMultipleAndSecurityStatusOverARange)
{
    Tag tag = poweredTag();
    for (int b = 0; b < 4; ++b)
        tag.setBlock(b, 0x01010101u * static_cast<std::uint32_t>(b + 1));
    tag.setBlockLocked(1);
    EXPECT_EQ(tag.air(request(kNonAddr, kReadMultipleBlocks, nullptr, Bytes{1, 1})),
              (Bytes{0x00, 2, 2, 2, 2, 3, 3, 3, 3}));
    EXPECT_EQ(tag.air(request(kNonAddr | kFlagOption, kReadMultipleBlocks, nullptr, Bytes{0, 1})),
              (Bytes{0x00, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2}));
    EXPECT_EQ(tag.air(request(kNonAddr, kGetBlockSecurityStatus, nullptr, Bytes{0, 3})),
              (Bytes{0x00, 0, 1, 0, 0}));
    EXPECT_EQ(tag.air(request(kNonAddr, kReadMultipleBlocks, nullptr, Bytes{27, 0}))->size(), 5u);
    EXPECT_EQ(tag.air(request(kNonAddr, kReadMultipleBlocks, nullptr, Bytes{27, 1})),
              (Bytes{kResponseError, kErrBlockNotAvailable}));
    EXPECT_EQ(tag.air(request(kNonAddr, kGetBlockSecurityStatus, nullptr, Bytes{20, 10})),
              (Bytes{kResponseError, kErrBlockNotAvailable}));
}

TEST(AfiAndDsfid, WriteAndLock)
{
    struct Case {
        std::uint8_t write, lock;
        std::uint8_t (Tag::*get)() const;
        bool (Tag::*locked)() const;
    };
    for (const Case c : {Case{kWriteAfi, kLockAfi, &Tag::afi, &Tag::afiLocked},
                         Case{kWriteDsfid, kLockDsfid, &Tag::dsfid, &Tag::dsfidLocked}}) {
        SCOPED_TRACE(int{c.write});
        Tag tag = poweredTag();
        EXPECT_EQ(tag.air(request(kAddr, c.write, &kUid, Bytes{0x91})), Bytes{0x00});
        EXPECT_EQ((tag.*c.get)(), 0x91);
        EXPECT_EQ(tag.air(request(kAddr, c.lock, &kUid)), Bytes{0x00});
        EXPECT_TRUE((tag.*c.locked)());
        EXPECT_EQ(tag.air(request(kAddr, c.write, &kUid, Bytes{0x92})), (Bytes{kResponseError, kErrLocked}));
        EXPECT_EQ((tag.*c.get)(), 0x91);
        EXPECT_EQ(tag.air(request(kAddr, c.lock, &kUid)), (Bytes{kResponseError, kErrAlreadyLocked}));
    }
}

TEST(SystemInformation, ReportsUidDsfidAfiMemoryAndIcReference)
{
    Tag tag(kUid, 64);
    tag.powerOn();
    tag.setAfi(0x91);
    tag.setDsfid(0x03);
    Bytes expected{0x00, 0x0F, 0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0, 0x03, 0x91, 63, 3, 0x01};
    EXPECT_EQ(tag.air(request(kAddr, kGetSystemInformation, &kUid)), expected);
}

TEST(Eas, SetResetLockAndAlarm)
{
    Tag tag = poweredTag();
    const auto alarm = [&] { return tag.air(request(kNonAddr, kEasAlarm)); };
    EXPECT_FALSE(alarm()) << "EAS off: the chip stays silent";
    EXPECT_EQ(tag.air(request(kAddr, kSetEas, &kUid)), Bytes{0x00});
    EXPECT_TRUE(tag.eas());
    const auto answer = alarm();
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->size(), 33u);
    EXPECT_EQ((*answer)[0], 0x00);
    EXPECT_TRUE(std::equal(answer->begin() + 1, answer->end(), Tag::easSequence().begin()));
    EXPECT_FALSE(tag.air(request(kNonAddr | kFlagOption, kEasAlarm))) << "no selective EAS";

    EXPECT_EQ(tag.air(request(kNonAddr, kResetEas)), Bytes{0x00});
    EXPECT_FALSE(tag.eas());
    EXPECT_EQ(tag.air(request(kAddr | kFlagOption, kLockEas, &kUid)), Bytes{0x00});
    EXPECT_TRUE(tag.easLocked());
    EXPECT_EQ(tag.air(request(kAddr, kSetEas, &kUid)), (Bytes{kResponseError, kErrLocked}));
    EXPECT_FALSE(tag.eas());
    EXPECT_EQ(tag.air(request(kAddr, kLockEas, &kUid)), (Bytes{kResponseError, kErrAlreadyLocked}));

    // A custom command carrying another maker's code is not for this chip.
    EXPECT_FALSE(tag.air(request(kNonAddr, kSetEas, nullptr, {}, 0x07)));
    // The manufacturer code sits before the UID.
    EXPECT_EQ(tag.air(Bytes{kAddr, kResetEas, 0x04, 0x78, 0x56, 0x34, 0x12, 0x00, 0x01, 0x04, 0xE0}),
              (Bytes{kResponseError, kErrLocked}));
}

TEST(Eas, ChipsWithoutEasRefuseEveryEasCommand)
{
    Tag tag = poweredTag();
    tag.setEasSupported(false);
    for (std::uint8_t code : {kSetEas, kResetEas, kLockEas, kEasAlarm}) {
        SCOPED_TRACE(int{code});
        EXPECT_EQ(tag.air(request(kAddr, code, &kUid)), (Bytes{kResponseError, kErrNotSupported}));
        EXPECT_EQ(tag.air(request(kNonAddr, code)), (Bytes{kResponseError, kErrNotSupported}));
    }
    EXPECT_FALSE(tag.eas());
    EXPECT_FALSE(tag.easLocked());
}

TEST(Commands, UnknownCommandsAndProtocolExtension)
{
    Tag tag = poweredTag();
    EXPECT_EQ(tag.air(request(kAddr, 0x24, &kUid, Bytes{0, 0})), (Bytes{kResponseError, kErrNotSupported}));
    EXPECT_EQ(tag.air(request(kNonAddr, 0xB0)), (Bytes{kResponseError, kErrNotSupported}));
    EXPECT_FALSE(tag.air(Bytes{kNonAddr | kFlagProtocolExtension, kReadSingleBlock, 0, 0}));
    EXPECT_FALSE(tag.air(Bytes{kNonAddr}));
}
