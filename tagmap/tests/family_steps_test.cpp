// The family adapter step by step against a simulated reader of each family:
// what each step does to the tag (the simulator's memory is the judge), the
// byte orders of blocks and UIDs, addressed and unaddressed steps, and the
// success tests (a first-make EAS write answered 0xC4 goes on; block writes
// that fail are "no tag" at worst).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "family.h"
#include "first_make.h"
#include "quorvel.h"
#include "second_make.h"
#include "sim/tag_file.h"
#include "sim/testing.h"

using namespace brenholt;

namespace {

constexpr int kPort = 3;

struct StepCase {
    const char* sim;
    std::int32_t number;
    bool firstMake;
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.sim; }

const Uid kUid = {0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
const Uid kOtherUid = {0xE0, 0x04, 0x01, 0x00, 0xAA, 0xBB, 0xCC, 0xDD};

class FamilySteps : public ::testing::TestWithParam<StepCase> {
protected:
    void SetUp() override
    {
        std::string error;
        served_ = sim::serveReader(GetParam().sim, ports_.portPath(kPort), 0, {}, &error);
        ASSERT_TRUE(served_) << error;
        family_ = familyFor(GetParam().number);
        ASSERT_NE(family_, nullptr);
        if (GetParam().firstMake) {
            const std::int32_t link = QVL_SerialOpen(kPort, served_.reader->baud());
            ASSERT_GT(link, 0);
            handle_ = handleOfLink(link);
        } else {
            const Opened opened = openSecondMake(kPort);
            ASSERT_EQ(opened.code, BRN_OK);
            handle_ = opened.handle;
        }
        ASSERT_TRUE(family_->accepts(handle_));
        ASSERT_TRUE(family_->setRf(handle_, true).ok);
    }
    void TearDown() override
    {
        if (!handle_)
            return;
        if (GetParam().firstMake)
            QVL_Close(linkOf(handle_));
        else
            closeSecondMake(handle_);
    }

    void place(const std::string& line)
    {
        std::string error;
        auto tag = sim::parseTagLine(line, &error);
        ASSERT_TRUE(tag) << error;
        ASSERT_TRUE(served_.reader->place(*tag));
    }
    sim::Tag tag(const Uid& uid) const
    {
        sim::Uid simUid{};
        std::copy(uid.begin(), uid.end(), simUid.begin());
        const auto t = served_.reader->tag(simUid);
        return t ? *t : sim::Tag(simUid);
    }

    sim::PortFolder ports_;
    sim::ServedReader served_;
    ReaderFamily* family_ = nullptr;
    brnHandle handle_ = nullptr;
};

} // namespace

TEST_P(FamilySteps, InventoryGivesUidsMostSignificantFirst)
{
    place("E004010012345678 afi=91");
    std::vector<Uid> tags;
    ASSERT_TRUE(family_->inventory(handle_, InventoryUse::SingleRead, {}, tags).ok);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0], kUid);
    tags.clear();
    family_->inventory(handle_, InventoryUse::CountByType, {true, 0x92}, tags);
    EXPECT_TRUE(tags.empty()) << "a book does not answer a patron card inventory";
    family_->inventory(handle_, InventoryUse::CountByType, {true, 0x91}, tags);
    EXPECT_EQ(tags.size(), 1u);
}

TEST_P(FamilySteps, BlocksRoundTripInTheTagsByteOrder)
{
    place("E004010012345678");
    for (const Uid* uid : {&kUid, static_cast<const Uid*>(nullptr)}) {
        const std::uint32_t value = uid ? 0x11223344u : 0xA1B2C3D4u;
        ASSERT_TRUE(family_->writeBlock(handle_, uid, 2, value).ok);
        EXPECT_EQ(tag(kUid).block(2), value) << (uid ? "addressed" : "unaddressed");
        EXPECT_EQ(tag(kUid).blockBytes(2)[0], value & 0xFF) << "tag byte 0 is the low byte";
        std::uint32_t read = 0;
        ASSERT_TRUE(family_->readBlock(handle_, uid, 2, read).ok);
        EXPECT_EQ(read, value);
    }
}

TEST_P(FamilySteps, AddressedStepsReachOnlyTheirTag)
{
    place("E004010012345678");
    place("E0040100AABBCCDD");
    ASSERT_TRUE(family_->writeBlock(handle_, &kOtherUid, 5, 0xCAFE0005u).ok);
    EXPECT_EQ(tag(kOtherUid).block(5), 0xCAFE0005u);
    EXPECT_EQ(tag(kUid).block(5), 0u);
    ASSERT_TRUE(family_->writeAfi(handle_, &kOtherUid, 0x93).ok);
    EXPECT_EQ(tag(kOtherUid).afi(), 0x93);
    EXPECT_EQ(tag(kUid).afi(), 0x00);
}

TEST_P(FamilySteps, AfiEasAndLocks)
{
    place("E004010012345678");
    ASSERT_TRUE(family_->writeAfi(handle_, &kUid, 0x91).ok);
    EXPECT_EQ(tag(kUid).afi(), 0x91);

    std::optional<std::int32_t> eas;
    ASSERT_TRUE(family_->writeEas(handle_, &kUid, EasAction::Set).ok);
    EXPECT_TRUE(tag(kUid).eas());
    ASSERT_TRUE(family_->queryEas(handle_, &kUid, eas).ok);
    EXPECT_EQ(eas, 1);
    ASSERT_TRUE(family_->writeEas(handle_, &kUid, EasAction::Reset).ok);
    EXPECT_FALSE(tag(kUid).eas());
    eas.reset();
    ASSERT_TRUE(family_->queryEas(handle_, &kUid, eas).ok);
    if (GetParam().number == BRN_FAMILY_FENO)
        EXPECT_FALSE(eas) << "the tag does not answer the alarm request: the EAS state stays untold";
    else
        EXPECT_EQ(eas, 0);
    if (GetParam().number != BRN_FAMILY_FENO) { // FENO readers only set and clear the bit
        ASSERT_TRUE(family_->writeEas(handle_, &kUid, EasAction::Lock).ok);
        EXPECT_TRUE(tag(kUid).easLocked());
    }

    ASSERT_TRUE(family_->lockBlock(handle_, &kUid, 3).ok);
    ASSERT_TRUE(family_->lockBlock(handle_, nullptr, 6).ok);
    EXPECT_TRUE(tag(kUid).blockLocked(3));
    EXPECT_TRUE(tag(kUid).blockLocked(6));
    for (const Uid* uid : {&kUid, static_cast<const Uid*>(nullptr)}) {
        std::uint32_t locks = 0;
        ASSERT_TRUE(family_->readLocks(handle_, uid, locks).ok);
        EXPECT_EQ(locks, BRN_RAW_LOCK_BLOCK(3) | BRN_RAW_LOCK_BLOCK(6));
    }
    // A locked block refuses the write: reported, "no tag" when the reader says nothing more.
    const Outcome refused = family_->writeBlock(handle_, &kUid, 3, 1);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error(), BRN_OK);
}

TEST_P(FamilySteps, EasWriteOnAChipWithoutEas)
{
    place("E004010012345678 noeas");
    const Outcome outcome = family_->writeEas(handle_, &kUid, EasAction::Set);
    // The first make takes the reader's "no tag answer" for this step as done.
    EXPECT_EQ(outcome.ok, GetParam().firstMake);
    EXPECT_FALSE(tag(kUid).eas());
}

TEST_P(FamilySteps, RfField)
{
    ASSERT_TRUE(family_->setRf(handle_, false).ok);
    EXPECT_FALSE(served_.reader->rfOn());
    ASSERT_TRUE(family_->setRf(handle_, true).ok);
    EXPECT_TRUE(served_.reader->rfOn());
}

INSTANTIATE_TEST_SUITE_P(Families, FamilySteps, ::testing::Values(StepCase{"feno", BRN_FAMILY_FENO, true}, StepCase{"orba", BRN_FAMILY_ORBA, true},
                                           StepCase{"talu", BRN_FAMILY_TALU, true},
                                           StepCase{"dalrix", BRN_FAMILY_DALRIX, false}),
                         [](const auto& info) { return std::string(info.param.sim); });
