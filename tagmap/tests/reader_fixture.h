// A simulated reader of a family served as COM3 of a private port folder, and
// the library tags the tests lay on it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "brenholt.h"
#include "sim/tag_file.h"
#include "sim/testing.h"

namespace brenholt_test {

inline constexpr int kPort = 3;

// What the tests need to know of a family.
struct FamilyCase {
    const char* sim;         // the simulator's family name
    std::int32_t number;     // BRN_FAMILY_*
    bool firstMake;          // found by the speed scan (else: the second make through Dalrix.so)
    bool manyTagInventories; // an inventory reports every tag (the second make's reports one)
    bool afiSingleReads;     // single reads by type filter on the AFI
    bool addressedReads;     // single reads address the tag found (else: whichever tag answers)
    bool easOffAnswered;     // the EAS query tells "off" (else: a tag whose EAS is off leaves it untold)
};

inline void PrintTo(const FamilyCase& f, std::ostream* os) { *os << f.sim; }

// The families the tests run against.
inline const FamilyCase kFamilies[] = {
    {"feno", BRN_FAMILY_FENO, true, true, true, false, false},
    {"orba", BRN_FAMILY_ORBA, true, true, true, true, true},
    {"talu", BRN_FAMILY_TALU, true, true, true, true, true},
    {"dalrix", BRN_FAMILY_DALRIX, false, false, false, true, true},
};

// Library tags as the workstation writes them (see also scripts/tagctl_demo.sh): a
// book of library 44120 with blocks 0 and 1 locked and EAS on, a patron card
// with block 6 locked, a shelf tag.
inline const char* const kBook =
    "E004010012345678 afi=91 eas=1 locked=0-1 10000000 00003039 20040000 0000AC58 9BC38000 11111111 22222222 33333333";
inline const char* const kCard = "E0040100AABBCCDD afi=92 eas=0 locked=6 12000000 013524A1 9086E040 0000AC58 8F876000";
inline const char* const kShelf = "E004010055667788 afi=93 eas=0 14000000 00000BB9 00000000 0000AC58";
inline const std::uint8_t kBookUid[8] = {0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78};
// Tags of other libraries (sim/examples/library_standard_tags.txt): ISO
// 28560-3, item 1000000136 of DK-718500 with two extension blocks (74 bytes);
// ISO 28560-2, item 1620168259 of FI-Mamk-M (28 bytes).
inline const char* const kIso28560_3 =
    "E004010028560003 afi=07 dsfid=3E eas=1 mem=110101313030303030303133360000000000003615444b373138353030000000"
    "0000050100050122020071426f67766f676e656e00313233343536373839300000613738393635366300";
inline const char* const kIso28560_2 =
    "E004010028560002 afi=07 dsfid=06 eas=1 mem=9101046091ce43800201a80501106702424103073240de05ab075b00";

// Items as the workstation's pages write them (kBook and kCard above hold
// much the same as stored): a book of library 44120, a patron card, a shelf
// tag; lock asks for the identifier and library blocks to be locked.
inline brnItem bookItem(bool lock)
{
    brnItem item{};
    item.blockSize = 4;
    item.itemType = BRN_ITEM_TYPE_BOOK;
    item.validMask = lock ? 0x7F : 0x7D;
    item.lockMask = lock ? BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY : 0;
    item.easState = 1;
    item.formatVersion = 1;
    item.itemId = 4412000012345ULL;
    item.libraryId = 44120;
    item.book.location = (2 << 5) | 0; // 2A
    item.book.mediaType = 1;
    return item;
}

inline brnItem cardItem(bool lock)
{
    brnItem item{};
    item.blockSize = 4;
    item.itemType = BRN_ITEM_TYPE_PATRON_CARD;
    item.validMask = lock ? 0x7F : 0x7D;
    item.lockMask = lock ? BRN_ITEM_IDENTITY | BRN_ITEM_LIBRARY : 0;
    item.easState = 0;
    item.formatVersion = 1;
    item.typeCode = 1;
    item.itemId = 20260001;
    item.libraryId = 44120;
    item.patron.registerMonth = 9;
    item.patron.registerDay = 1;
    item.patron.registerYear = 2024;
    item.patron.patronType = 4;
    item.patron.cardStatus = 1;
    item.patron.validMonth = 8;
    item.patron.validDay = 31;
    item.patron.validYear = 2027;
    return item;
}

inline brnItem shelfItem(bool eas)
{
    brnItem item{};
    item.blockSize = 4;
    item.itemType = BRN_ITEM_TYPE_SHELF_TAG;
    item.validMask = eas ? 0x15 : 0x14;
    item.easState = eas ? 1 : 0;
    item.formatVersion = 1;
    item.typeCode = 2;
    item.itemId = 3001;
    item.libraryId = 44120;
    return item;
}

class ReaderTest : public ::testing::TestWithParam<FamilyCase> {
protected:
    void SetUp() override
    {
        std::string error;
        served_ = sim::serveReader(GetParam().sim, ports_.portPath(kPort), baud_, options_, &error);
        ASSERT_TRUE(served_) << error;
    }
    void TearDown() override
    {
        if (handle_)
            brnClose(handle_);
    }

    sim::Reader& reader() { return *served_.reader; }

    void place(const char* line)
    {
        std::string error;
        auto tag = sim::parseTagLine(line, &error);
        ASSERT_TRUE(tag) << error;
        ASSERT_TRUE(reader().place(*tag));
    }

    // Opens the reader and checks the family found: brnOpenSerial, or for the
    // second make (which brnOpenSerial reaches only after the speed scan)
    // brnOpenSerialByType unless detect is set.
    void open(bool detect = false)
    {
        std::int32_t family = 0;
        if (GetParam().firstMake || detect)
            ASSERT_EQ(brnOpenSerial(kPort, &handle_, &family), BRN_OK);
        else
            ASSERT_EQ(brnOpenSerialByType(kPort, "DL", &handle_, &family), BRN_OK);
        ASSERT_NE(handle_, nullptr);
        ASSERT_EQ(family, GetParam().number);
    }

    sim::PortFolder ports_;
    int baud_ = 0;
    sim::PersonalityOptions options_;
    sim::ServedReader served_;
    brnHandle handle_ = nullptr;
};

} // namespace brenholt_test
