#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "quorvel_firmware.h"

extern "C" int orbaHeaderCheckC(void);

namespace {

namespace fs = std::filesystem;
using Image = std::array<std::uint16_t, ORBA_IMAGE_WORDS>;

std::string hex2(unsigned v)
{
    char s[3];
    std::snprintf(s, sizeof s, "%02X", v & 0xFF);
    return s;
}

// A record with the given count field, byte address, type and data; the
// checksum is right unless checksumError is given.
std::string record(unsigned count, unsigned address, unsigned type,
                   const std::vector<std::uint8_t>& data, unsigned checksumError = 0)
{
    unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
    std::string line = ":" + hex2(count) + hex2(address >> 8) + hex2(address) + hex2(type);
    for (auto b : data) {
        line += hex2(b);
        sum += b;
    }
    return line + hex2(0x100 - (sum & 0xFF) + checksumError) + "\n";
}

// A data record of words at a word address, each word low byte first.
std::string words(unsigned wordAddress, const std::vector<std::uint16_t>& values)
{
    std::vector<std::uint8_t> data;
    for (auto w : values) {
        data.push_back(static_cast<std::uint8_t>(w));
        data.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return record(static_cast<unsigned>(data.size()), wordAddress * 2, 0, data);
}

const std::string kEnd = ":00000001FF\n";

Image filled(std::uint16_t value)
{
    Image image;
    image.fill(value);
    return image;
}

class FirmwareImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "firmware-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    std::string writeHex(const std::string& text, const std::string& name = "in.hex") const
    {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }

    std::vector<unsigned char> readBytes(const std::string& p) const
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The image file's words as little-endian pairs.
    Image readImageFile(const std::string& p) const
    {
        const auto bytes = readBytes(p);
        EXPECT_EQ(bytes.size(), std::size_t{ORBA_IMAGE_FILE_BYTES});
        Image image{};
        for (std::size_t i = 0; i < image.size() && 2 * i + 1 < bytes.size(); ++i)
            image[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        return image;
    }

    // Parses text both ways; expects success and returns the array image.
    Image parse(const std::string& text)
    {
        const auto hex = writeHex(text);
        Image image = filled(0x5555);
        EXPECT_EQ(ORBA_HexToBinArray(hex.c_str(), image.data()), 1);
        const auto bin = path("out.bin");
        EXPECT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), 0, nullptr), 1);
        Image fromFile = readImageFile(bin);
        for (std::size_t i = 0; i < image.size(); ++i)
            if (fromFile[i] == 0xFFFF)
                fromFile[i] = 0;
        EXPECT_EQ(fromFile, image) << "the file and the array must hold the same words";
        return image;
    }

    fs::path dir_;
};

TEST(FirmwareHeader, UsableFromC) { EXPECT_EQ(orbaHeaderCheckC(), 1); }

TEST_F(FirmwareImage, RecordWordsAreLowByteFirst)
{
    const auto hex = writeHex(":0400000001020304F2\n" + kEnd);
    Image image = filled(0x5555);
    ASSERT_EQ(ORBA_HexToBinArray(hex.c_str(), image.data()), 1);
    Image expected{};
    expected[0] = 0x0201;
    expected[1] = 0x0403;
    EXPECT_EQ(image, expected) << "unwritten words of the array are 0";
}

TEST_F(FirmwareImage, ImageFileIsLittleEndianWithUnwrittenWordsErased)
{
    const auto hex = writeHex(":0400000001020304F2\n" + kEnd);
    const auto bin = path("out.bin");
    ASSERT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), 0, nullptr), 1);
    std::vector<unsigned char> expected(ORBA_IMAGE_FILE_BYTES, 0xFF);
    expected[0] = 0x01;
    expected[1] = 0x02;
    expected[2] = 0x03;
    expected[3] = 0x04;
    EXPECT_EQ(readBytes(bin), expected);
}

TEST_F(FirmwareImage, RecordsLandAtTheirWordAddressesUpToTheLastWord)
{
    const Image image = parse(words(0x0004, {0x3FFF, 0x0000, 0x1234})
                              + words(0x2007, {0x3F72}) + words(0x21FF, {0x00AB})
                              + words(0x0005, {0x0ABC}) + kEnd);
    Image expected{};
    expected[0x0004] = 0x3FFF;
    expected[0x0005] = 0x0ABC; // a later record overwrites
    expected[0x0006] = 0x1234;
    expected[0x2007] = 0x3F72;
    expected[0x21FF] = 0x00AB;
    EXPECT_EQ(image, expected);
}

TEST_F(FirmwareImage, AcceptsTheLinesAHexFileMayHold)
{
    // Windows line ends, text outside records, lower-case digits, an end
    // record of type 01 that is not the end line, an end line without a line
    // end, and anything after the end line.
    std::string lowercase = words(0x10, {0x2ABC});
    for (auto& c : lowercase)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string crlf = words(0x11, {0x0102});
    crlf.insert(crlf.size() - 1, "\r");
    const std::string text = "; firmware 1.2\n\n" + lowercase + crlf + std::string(254, 'x') + "\n"
                             + ":00000A01F5\n" // an end record that is not the end line
                             + words(0x12, {0x0003}) + ":00000001FF";
    const Image image = parse(text);
    Image expected{};
    expected[0x10] = 0x2ABC;
    expected[0x11] = 0x0102;
    expected[0x12] = 0x0003;
    EXPECT_EQ(image, expected);

    const Image afterEnd = parse(words(0, {1}) + kEnd + "garbage\n" + words(1, {0x4000}));
    EXPECT_EQ(afterEnd[0], 1);
    EXPECT_EQ(afterEnd[1], 0);
}

TEST_F(FirmwareImage, TheLongestRecordALineCanHoldIsAccepted)
{
    std::vector<std::uint16_t> sixty;
    for (std::uint16_t i = 0; i < 60; ++i)
        sixty.push_back(static_cast<std::uint16_t>(0x3F00 + i));
    const std::string line = words(0x100, sixty);
    ASSERT_EQ(line.size(), 251u + 1);
    const Image image = parse(line + kEnd);
    for (std::size_t i = 0; i < 60; ++i)
        EXPECT_EQ(image[0x100 + i], sixty[i]);
    const std::string crlfLine = std::string(254, ';') + "\r\n";
    parse(crlfLine + kEnd);
}

struct Malformed {
    const char* name;
    std::string text;
};

std::ostream& operator<<(std::ostream& os, const Malformed& m) { return os << m.name; }

std::vector<Malformed> malformedFiles()
{
    std::vector<std::uint16_t> sixtyOne(61, 0x0101);
    const std::string good = words(0, {0x0001, 0x0002});
    return {
        {"BadChecksum", good + record(2, 4, 0, {0x01, 0x02}, 1) + kEnd},
        {"OddCount", good + record(3, 4, 0, {0x01, 0x02, 0x03}) + kEnd},
        {"OddAddress", good + record(2, 5, 0, {0x01, 0x02}) + kEnd},
        {"WordAbove14Bits", good + words(2, {0x4000}) + kEnd},
        {"WordAllOnes", good + words(2, {0xFFFF}) + kEnd},
        {"MissingEndLine", good},
        {"EndLineMissingAfterTypeOneRecord", good + ":00000A01F5\n"},
        {"EmptyFile", ""},
        {"OverlongRecordLine", good + words(8, sixtyOne) + kEnd},
        {"OverlongOtherLine", good + std::string(255, ';') + "\n" + kEnd},
        {"OverlongLastLine", good + kEnd.substr(0, 11) + std::string(244, ' ')},
        {"ExtendedAddressRecord", ":020000040000FA\n" + good + kEnd},
        {"RecordTypeTwo", good + record(2, 0, 2, {0x00, 0x10}) + kEnd},
        {"TenCharacterLine", good + ":000000010\n" + kEnd},
        {"DataShorterThanCount", good + ":04000400010203F2\n" + kEnd},
        {"NonHexDigit", good + ":0200040001G2F7\n" + kEnd},
        {"NonHexAddress", good + ":02000X000102F9\n" + kEnd},
        {"PastImageEnd", good + words(0x2200, {0x0001}) + kEnd},
        {"ReachingPastImageEnd", good + words(0x21FF, {0x0001, 0x0002}) + kEnd},
        {"HighestByteAddress", good + record(2, 0xFFFE, 0, {0x01, 0x00}) + kEnd},
    };
}

class MalformedHex : public FirmwareImage, public ::testing::WithParamInterface<Malformed> {};

TEST_P(MalformedHex, IsRefusedWithoutWritingAnImage)
{
    const auto hex = writeHex(GetParam().text);
    Image image = filled(0x5555);
    EXPECT_EQ(ORBA_HexToBinArray(hex.c_str(), image.data()), 0);
    EXPECT_EQ(image, filled(0x5555)) << "a refused file leaves the caller's image alone";

    const auto bin = path("out.bin");
    EXPECT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), 0, nullptr), 0);
    EXPECT_FALSE(fs::exists(bin));

    const auto old = path("old.bin");
    std::ofstream(old) << "previous image";
    EXPECT_EQ(ORBA_HexToBinFile(hex.c_str(), old.c_str(), 0, nullptr), 0);
    EXPECT_EQ(fs::file_size(old), 14u) << "an existing image file stays as it was";
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedHex, ::testing::ValuesIn(malformedFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareImage, MissingFilesAndNullArgumentsFail)
{
    Image image{};
    const auto hex = writeHex(words(0, {1}) + kEnd);
    const auto bin = path("out.bin");
    EXPECT_EQ(ORBA_HexToBinArray(path("none.hex").c_str(), image.data()), 0);
    EXPECT_EQ(ORBA_HexToBinArray(nullptr, image.data()), 0);
    EXPECT_EQ(ORBA_HexToBinArray(hex.c_str(), nullptr), 0);
    EXPECT_EQ(ORBA_HexToBinFile(path("none.hex").c_str(), bin.c_str(), 0, nullptr), 0);
    EXPECT_EQ(ORBA_HexToBinFile(hex.c_str(), nullptr, 0, nullptr), 0);
    EXPECT_EQ(ORBA_HexToBinFile(hex.c_str(), path("no/such/dir.bin").c_str(), 0, nullptr), 0);
    EXPECT_FALSE(fs::exists(bin));
    EXPECT_EQ(ORBA_BinFileToBinArray(path("none.bin").c_str(), image.data(), 0, nullptr), 0);
    EXPECT_EQ(ORBA_BinFileToBinArray(nullptr, image.data(), 0, nullptr), 0);
    EXPECT_EQ(ORBA_DecryptBinArray(nullptr, 0, nullptr), 0);
}

// ---------------------------------------------------------------------------
// Word keys.

Image keyed(Image image, const std::vector<std::uint16_t>& key)
{
    for (std::size_t j = 0; j < image.size(); ++j)
        image[j] ^= key[j % key.size()];
    return image;
}

TEST_F(FirmwareImage, KeyScramblesEveryWordOfTheImageFile)
{
    const auto hex = writeHex(words(0, {0x0010, 0x0020, 0x0030}) + kEnd);
    Image plain = filled(0xFFFF);
    plain[0] = 0x0010;
    plain[1] = 0x0020;
    plain[2] = 0x0030;
    const std::vector<std::vector<std::uint16_t>> keys = {
        {0x0001, 0x0002}, {0xA5A5, 0x0F0F, 0x1234}, {0xFFFF}};
    for (const auto& key : keys) {
        SCOPED_TRACE(key.size());
        const auto bin = path("keyed.bin");
        ASSERT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), static_cast<int>(key.size()),
                                    key.data()),
                  1);
        const Image file = readImageFile(bin);
        EXPECT_EQ(file, keyed(plain, key));
        if (key.size() == 2) {
            EXPECT_EQ(file[0], 0x0011);
            EXPECT_EQ(file[1], 0x0022);
            EXPECT_EQ(file[2], 0x0031);
            EXPECT_EQ(file[3], 0xFFFD);
            EXPECT_EQ(file[ORBA_IMAGE_WORDS - 1], 0xFFFD);
        }
    }
}

TEST_F(FirmwareImage, NoKeyUnlessLengthIsPositiveAndWordsAreGiven)
{
    const auto hex = writeHex(words(0, {0x0010}) + kEnd);
    const std::uint16_t key[] = {0x00FF};
    const auto bin = path("out.bin");
    using Key = std::pair<int, const std::uint16_t*>;
    for (auto [length, keyWords] : {Key{0, key}, Key{-1, key}, Key{1, nullptr}}) {
        ASSERT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), length, keyWords), 1);
        const Image file = readImageFile(bin);
        EXPECT_EQ(file[0], 0x0010);
        EXPECT_EQ(file[1], 0xFFFF);
    }
}

TEST_F(FirmwareImage, DecryptWithoutKeyClearsOnlyErasedWords)
{
    Image image{};
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint16_t>(i * 37);
    image[0] = 0xFFFF;
    image[5] = 0xFFFE;
    image[ORBA_IMAGE_WORDS - 1] = 0xFFFF;
    Image expected = image;
    expected[0] = 0;
    expected[ORBA_IMAGE_WORDS - 1] = 0;
    EXPECT_EQ(ORBA_DecryptBinArray(image.data(), 0, nullptr), 1);
    EXPECT_EQ(image, expected);
}

TEST_F(FirmwareImage, DecryptUndoesTheKeyThenClearsErasedWords)
{
    const std::vector<std::uint16_t> key = {0x1111, 0x2222, 0x4444};
    Image plain{};
    plain[0] = 0x0123;
    plain[1] = 0xFFFF;
    plain[2] = 0x3FFF;
    Image image = keyed(plain, key);
    ASSERT_EQ(ORBA_DecryptBinArray(image.data(), 3, key.data()), 1);
    Image expected = plain;
    expected[1] = 0;
    EXPECT_EQ(image, expected);
}

TEST_F(FirmwareImage, ImageFileReadsBackThroughTheSameKey)
{
    const std::vector<std::uint16_t> key = {0x0F0F, 0x3003, 0x1, 0xFFFF, 0x8000};
    const auto hex = writeHex(words(0, {0x2800, 0x0000, 0x3FFF}) + words(0x2100, {0x00AB}) + kEnd);
    const auto bin = path("keyed.bin");
    ASSERT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), 5, key.data()), 1);

    Image fromFile = filled(0x5555);
    ASSERT_EQ(ORBA_BinFileToBinArray(bin.c_str(), fromFile.data(), 5, key.data()), 1);
    Image fromHex{};
    ASSERT_EQ(ORBA_HexToBinArray(hex.c_str(), fromHex.data()), 1);
    EXPECT_EQ(fromFile, fromHex);

    Image withoutKey{};
    ASSERT_EQ(ORBA_BinFileToBinArray(bin.c_str(), withoutKey.data(), 0, nullptr), 1);
    EXPECT_NE(withoutKey, fromHex);
}

TEST_F(FirmwareImage, ACutImageFileIsRefused)
{
    const auto hex = writeHex(words(0, {1}) + kEnd);
    const auto bin = path("out.bin");
    ASSERT_EQ(ORBA_HexToBinFile(hex.c_str(), bin.c_str(), 0, nullptr), 1);
    fs::resize_file(bin, ORBA_IMAGE_FILE_BYTES - 1);
    Image image = filled(0x5555);
    EXPECT_EQ(ORBA_BinFileToBinArray(bin.c_str(), image.data(), 0, nullptr), 0);
    EXPECT_EQ(image, filled(0x5555));
}

// ---------------------------------------------------------------------------
// Files from a real assembler for 14-bit-word microcontrollers.

bool haveGpasm() { return std::system("command -v gpasm >/dev/null 2>&1") == 0; }

// Program words by word address from an assembler listing: the address in the
// first column, then up to three words in the object code column, continued
// on lines without an address.
std::map<unsigned, std::uint16_t> listedWords(const std::string& listing)
{
    std::map<unsigned, std::uint16_t> words;
    std::istringstream in(listing);
    std::string line;
    unsigned address = 0;
    auto isHex = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789ABCDEF") == std::string::npos;
    };
    while (std::getline(in, line)) {
        if (line.find("SYMBOL TABLE") != std::string::npos)
            break;
        if (line.size() < 8)
            continue;
        const std::string loc = line.substr(0, 4);
        if (isHex(loc) && line[4] == ' ')
            address = static_cast<unsigned>(std::stoul(loc, nullptr, 16));
        else if (loc != "    ")
            continue;
        std::istringstream object(line.substr(7, std::min<std::size_t>(14, line.size() - 7)));
        for (std::string token; object >> token && token.size() == 4 && isHex(token);)
            words[address++] = static_cast<std::uint16_t>(std::stoul(token, nullptr, 16));
    }
    return words;
}

TEST_F(FirmwareImage, AssemblerOutputMatchesItsListing)
{
    if (!haveGpasm())
        GTEST_SKIP() << "gpasm (gputils) is not installed";

    std::ostringstream src;
    src << "        processor 16f876a\n"
           "        __config 0x3F72\n"
           "        __idlocs 0x1234\n"
           "        org 0x0000\n"
           "start:  movlw 0x05\n"
           "        movwf 0x20\n"
           "        goto main\n"
           "        org 0x0004\n"
           "        retfie\n"
           "main:   incf 0x20, f\n"
           "        btfss 0x03, 2\n"
           "        goto main\n"
           "        call table\n"
           "        sleep\n"
           "table:  addwf 0x02, f\n";
    for (int i = 0; i < 200; ++i)
        src << "        retlw 0x" << std::hex << (i * 7 + 3) % 256 << std::dec << "\n";
    src << "        dw 0x3FFF, 0x0000, 0x2AAA, 0x1555\n"
           "        org 0x0800\n"
           "far:    goto far\n"
           "        org 0x1FFE\n"
           "        nop\n"
           "        sleep\n"
           "        org 0x2100\n";
    std::map<unsigned, std::uint16_t> dataMemory;
    for (unsigned i = 0; i < 256; ++i) {
        dataMemory[0x2100 + i] = static_cast<std::uint16_t>((i * 13 + 0x80) % 256);
        src << "        de 0x" << std::hex << dataMemory[0x2100 + i] << std::dec << "\n";
    }
    src << "        end\n";
    std::ofstream(path("fw.asm")) << src.str();

    // The reader's tools take the classic 8-bit merged format: data and end
    // records only.
    const std::string command = "cd '" + dir_.string() + "' && gpasm -a inhx8m -q fw.asm > gpasm.log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream listingFile(path("fw.lst"));
    const std::string listing{std::istreambuf_iterator<char>(listingFile),
                              std::istreambuf_iterator<char>()};
    // Data memory is listed at addresses of the listing's own counting; its
    // values come from the source instead.
    auto listed = listedWords(listing);
    std::erase_if(listed, [](const auto& entry) { return entry.first >= 0x2100; });
    ASSERT_EQ(listed.size(), 217u + 4 + 1) << listing; // program, ID and configuration words
    EXPECT_EQ(listed.at(0x2007), 0x3F72);
    EXPECT_EQ(listed.at(0x1FFF), 0x0063);
    listed.merge(dataMemory);
    ASSERT_EQ(listed.size(), 222u + 256);

    Image expected{};
    for (const auto& [address, word] : listed) {
        ASSERT_LT(address, expected.size());
        expected[address] = word;
    }
    Image image = filled(0x5555);
    ASSERT_EQ(ORBA_HexToBinArray(path("fw.hex").c_str(), image.data()), 1);
    EXPECT_EQ(image, expected);

    const std::vector<std::uint16_t> key = {0x0A0A, 0x3C3C, 0x0001};
    ASSERT_EQ(ORBA_HexToBinFile(path("fw.hex").c_str(), path("fw.bin").c_str(), 3, key.data()), 1);
    Image fileImage = readImageFile(path("fw.bin"));
    Image erased = filled(0xFFFF);
    for (const auto& [address, word] : listed)
        erased[address] = word;
    EXPECT_EQ(fileImage, keyed(erased, key));

    Image back{};
    ASSERT_EQ(ORBA_BinFileToBinArray(path("fw.bin").c_str(), back.data(), 3, key.data()), 1);
    EXPECT_EQ(back, expected);
}

} // namespace
