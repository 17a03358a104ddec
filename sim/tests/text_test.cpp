// The text forms readersim reads: tag lines and files, and faults.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "sim/fault.h"
#include "sim/tag_file.h"

using namespace sim;

TEST(TagLine, ParsesEveryItemAndFormatsBack)
{
    std::string error;
    const auto tag = parseTagLine("E004010012345678 afi=91 dsfid=0A eas=1 locked=0-1,5 afilock easlock "
                                  "11223344 00000000 CAFEF00D",
                                  &error);
    ASSERT_TRUE(tag) << error;
    EXPECT_EQ(uidToText(tag->uid()), "E004010012345678");
    EXPECT_EQ(tag->afi(), 0x91);
    EXPECT_EQ(tag->dsfid(), 0x0A);
    EXPECT_TRUE(tag->eas());
    EXPECT_TRUE(tag->easSupported());
    EXPECT_TRUE(tag->afiLocked());
    EXPECT_FALSE(tag->dsfidLocked());
    EXPECT_TRUE(tag->easLocked());
    EXPECT_EQ(tag->block(0), 0x11223344u);
    EXPECT_EQ(tag->blockBytes(0)[0], 0x44);
    EXPECT_EQ(tag->block(2), 0xCAFEF00Du);
    for (int b = 0; b < 28; ++b)
        EXPECT_EQ(tag->blockLocked(b), b == 0 || b == 1 || b == 5) << b;

    const std::string line = formatTagLine(*tag);
    EXPECT_EQ(line, "E004010012345678 afi=91 dsfid=0A eas=1 locked=0-1,5 afilock easlock 11223344 00000000 CAFEF00D");
    const auto again = parseTagLine(line, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(formatTagLine(*again), line);

    const auto plain = parseTagLine("E0040100AABBCCDD blocks=64 noeas", &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->blockCount(), 64);
    EXPECT_FALSE(plain->easSupported());
    EXPECT_EQ(formatTagLine(*plain), "E0040100AABBCCDD afi=00 dsfid=00 eas=0 noeas blocks=64");
}

TEST(TagLine, MemoryInTagOrder)
{
    std::string error;
    const auto tag = parseTagLine("E004010028560002 afi=07 dsfid=06 mem=9101046091ce4380020100a805", &error);
    ASSERT_TRUE(tag) << error;
    EXPECT_EQ(tag->afi(), 0x07);
    EXPECT_EQ(tag->dsfid(), 0x06);
    EXPECT_EQ(tag->block(0), 0x60040191u);
    EXPECT_EQ(tag->blockBytes(0)[0], 0x91);
    EXPECT_EQ(tag->block(2), 0xA8000102u);
    EXPECT_EQ(tag->block(3), 0x00000005u); // the last block filled up with zeros
    EXPECT_EQ(formatTagLine(*tag), "E004010028560002 afi=07 dsfid=06 eas=0 60040191 8043CE91 A8000102 00000005");
    // As many bytes as the blocks hold, and more blocks for more.
    EXPECT_TRUE(parseTagLine("E004010028560002 blocks=1 mem=01020304", &error)) << error;
    EXPECT_TRUE(parseTagLine("E004010028560002 blocks=40 mem=" + std::string(160 * 2, '1'), &error)) << error;
}

TEST(TagLine, RefusesMalformedLines)
{
    for (const char* bad : {"", "E00401001234567", "E004010012345678 afi=911", "E004010012345678 eas=2",
                            "E004010012345678 blocks=0", "E004010012345678 blocks=2 1 2 3",
                            "E004010012345678 blocks=2 00000001 00000002 00000003", "E004010012345678 locked=28",
                            "E004010012345678 locked=3-1", "E004010012345678 colour=red", "E004010012345678 1234",
                            "E004010012345678 mem=", "E004010012345678 mem=123", "E004010012345678 mem=0g",
                            "E004010012345678 mem=00 mem=01", "E004010012345678 mem=0011 00000001",
                            "E004010012345678 blocks=1 mem=0102030405"}) {
        std::string error;
        EXPECT_FALSE(parseTagLine(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(TagFile, LoadsTagsSkippingCommentsAndNamesTheBadLine)
{
    char path[] = "/tmp/simtagsXXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    {
        std::ofstream out(path);
        out << "# two tags\n\nE004010012345678 afi=91\r\n   # indented comment\nE0040100AABBCCDD eas=1\n";
    }
    std::string error;
    auto tags = loadTagFile(path, &error);
    ASSERT_TRUE(tags) << error;
    ASSERT_EQ(tags->size(), 2u);
    EXPECT_EQ((*tags)[0].afi(), 0x91);
    EXPECT_TRUE((*tags)[1].eas());
    {
        std::ofstream out(path, std::ios::app);
        out << "E0040100 bad\n";
    }
    EXPECT_FALSE(loadTagFile(path, &error));
    EXPECT_NE(error.find(std::string(path) + ":6:"), std::string::npos) << error;
    std::remove(path);
    EXPECT_FALSE(loadTagFile(path, &error));
}

TEST(TagFile, TheExampleFileLoads)
{
    std::string error;
    for (const auto& [file, count] : {std::pair{"/tags.txt", 4u}, std::pair{"/library_standard_tags.txt", 2u}}) {
        const auto tags = loadTagFile(SIM_EXAMPLES_DIR + std::string(file), &error);
        ASSERT_TRUE(tags) << error;
        EXPECT_EQ(tags->size(), count) << file;
    }
}

TEST(FaultText, ParsesKindsArgumentsAndOptions)
{
    struct Case {
        const char* text;
        FaultKind kind;
        const char* described;
    };
    for (const Case& c : {
             Case{"silence", FaultKind::Silence, "silence count=1"},
             Case{"crc count=3", FaultKind::WrongCrc, "crc count=3"},
             Case{"noise 00 ff 55 permanent", FaultKind::Noise, "noise 00 FF 55 permanent"},
             Case{"noise count=2", FaultKind::Noise, "noise count=2"},
             Case{"cut frame=1", FaultKind::CutShort, "cut count=1 frame=1"},
             Case{"status 84 code=21 skip=2", FaultKind::Status, "status 84 count=1 skip=2 code=21"},
             Case{"delay 250", FaultKind::Delay, "delay 250 count=1"},
             Case{"leave", FaultKind::TagsLeave, "leave count=1"},
             Case{"close", FaultKind::LineClose, "close 0 count=1"},
             Case{"close 500", FaultKind::LineClose, "close 500 count=1"},
             Case{"close stay", FaultKind::LineClose, "close stay count=1"},
         }) {
        std::string error;
        const auto f = parseFault(c.text, &error);
        ASSERT_TRUE(f) << c.text << ": " << error;
        EXPECT_EQ(f->kind, c.kind) << c.text;
        EXPECT_EQ(describeFault(*f), c.described);
        const auto again = parseFault(describeFault(*f));
        ASSERT_TRUE(again);
        EXPECT_EQ(describeFault(*again), c.described);
    }
    for (const char* bad : {"", "smoke", "status", "status 1FF", "delay", "delay -5", "crc count=0", "crc count=x",
                            "cut frame=-1", "silence loud", "code=ZZ"}) {
        std::string error;
        EXPECT_FALSE(parseFault(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}
