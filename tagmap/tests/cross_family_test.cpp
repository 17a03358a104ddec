// One tag, any reader: a tag written on a reader of one family reads back
// identically on the readers of every family. Four simulated readers, one of
// each family, serve as COM3 to COM6; the library switches between them and
// the tag is moved from antenna to antenna.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reader_fixture.h"
#include "sim/iso15693.h"

using namespace brenholt_test;

namespace {

constexpr std::uint32_t kAllRaw = BRN_RAW_EAS | BRN_RAW_LOCKS | BRN_RAW_ALL_BLOCKS;

struct Station {
    const FamilyCase* family = nullptr;
    int port = 0;
    sim::ServedReader served;
    brnHandle handle = nullptr;
};

class OneTagAnyReader : public ::testing::Test {
protected:
    void SetUp() override
    {
        int port = kPort;
        for (const FamilyCase& f : kFamilies) {
            auto station = std::make_unique<Station>();
            station->family = &f;
            station->port = port;
            std::string error;
            station->served = sim::serveReader(f.sim, ports_.portPath(port), 0, {}, &error);
            ASSERT_TRUE(station->served) << error;
            std::int32_t family = 0;
            const std::int32_t opened = f.firstMake
                                            ? brnOpenSerial(port, &station->handle, &family)
                                            : brnOpenSerialByType(port, "DL", &station->handle, &family);
            ASSERT_EQ(opened, BRN_OK) << f.sim;
            ASSERT_EQ(family, f.number);
            stations_.push_back(std::move(station));
            ++port;
        }
    }
    void TearDown() override
    {
        for (auto& s : stations_)
            if (s->handle)
                brnClose(s->handle);
    }

    // Makes the station the one the library's calls go to.
    static void use(const Station& s) { ASSERT_EQ(brnSwitchReader(s.handle, s.family->number, 0), BRN_OK); }

    sim::PortFolder ports_;
    std::vector<std::unique_ptr<Station>> stations_;
};

struct ItemKind {
    const char* name;
    brnItem (*make)(bool);
};

} // namespace

TEST_F(OneTagAnyReader, WrittenOnAnyFamilyReadsTheSameOnEvery)
{
    const ItemKind kinds[] = {{"book", bookItem}, {"card", cardItem}, {"shelf", shelfItem}};
    std::uint8_t serial = 0;
    for (const auto& writer : stations_) {
        for (const ItemKind& kind : kinds) {
            SCOPED_TRACE(std::string("written on ") + writer->family->sim + ": " + kind.name);
            // A fresh tag each time: the book and the card get locked.
            sim::Uid uid = {0xE0, 0x04, 0x01, 0x00, 0x00, 0x00, 0x7A, ++serial};
            ASSERT_TRUE(writer->served.reader->place(sim::Tag(uid)));
            use(*writer);
            brnItem item = kind.make(true);
            ASSERT_EQ(brnWriteItems(writer->handle, &item), BRN_OK);

            // The tag's memory as the writer left it, and the first reading.
            const sim::Tag written = *writer->served.reader->tag(uid);
            brnRawItem first{};
            ASSERT_EQ(brnReadSingleRawItem(writer->handle, 10, kAllRaw, &first), BRN_OK);
            for (int b = 0; b < 8; ++b)
                EXPECT_EQ(first.blocks[b], written.block(b)) << "block " << b;

            sim::Reader* at = writer->served.reader.get();
            for (const auto& other : stations_) {
                SCOPED_TRACE(std::string("read on ") + other->family->sim);
                if (at != other->served.reader.get()) {
                    ASSERT_TRUE(at->moveTag(uid, *other->served.reader));
                    at = other->served.reader.get();
                }
                use(*other);
                brnRawItem raw{};
                ASSERT_EQ(brnReadSingleRawItem(other->handle, 10, kAllRaw, &raw), BRN_OK);
                for (int b = 0; b < 8; ++b)
                    EXPECT_EQ(raw.blocks[b], first.blocks[b]) << "block " << b;
                EXPECT_EQ(raw.lockMask, first.lockMask);
                // FENO readers leave an EAS bit that is off untold.
                if ((raw.validMask & BRN_RAW_EAS) && (first.validMask & BRN_RAW_EAS)) {
                    EXPECT_EQ(raw.easState, first.easState);
                } else {
                    EXPECT_EQ(raw.easState | first.easState, 0);
                }
                // The AFI answers every family's inventory by type; the item decodes alike.
                brnItem back{};
                ASSERT_EQ(brnReadSingleItemByType(other->handle, 10, item.itemType, BRN_ITEM_ALL, &back), BRN_OK);
                EXPECT_EQ(back.itemType, item.itemType);
                EXPECT_EQ(back.itemId, kind.make(true).itemId);
                EXPECT_EQ(back.libraryId, item.libraryId);
            }
            at->remove(uid);
        }
    }
}
