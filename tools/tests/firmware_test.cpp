// tagctl firmware: the programming application against the simulated
// microcontroller on a link's emulated modem lines, and the command as a
// user runs it.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "firmware_programmer.h"
#include "linvaro_testing.h"
#include "platform/dynlib.h"
#include "quorvel.h"
#include "scripted_peer.h"
#include "sim/pic_target.h"

using sim::PicTarget;
using namespace tagctl::firmware;

namespace {

namespace fs = std::filesystem;

constexpr int kPort = 5;

std::string hex2(unsigned v)
{
    char s[3];
    std::snprintf(s, sizeof s, "%02X", v & 0xFF);
    return s;
}

// A data record of words at a word address, each word low byte first.
std::string record(unsigned wordAddress, const std::vector<std::uint16_t>& words)
{
    const unsigned address = wordAddress * 2;
    unsigned sum = static_cast<unsigned>(2 * words.size()) + (address >> 8) + (address & 0xFF);
    std::string line = ":" + hex2(static_cast<unsigned>(2 * words.size())) + hex2(address >> 8) + hex2(address) + "00";
    for (const auto w : words) {
        line += hex2(w) + hex2(w >> 8);
        sum += (w & 0xFF) + (w >> 8);
    }
    return line + hex2(0x100 - (sum & 0xFF)) + "\n";
}

const std::string kEnd = ":00000001FF\n";

// A firmware with program words in two places, data bytes, IDs, a word at a
// reserved configuration address and the configuration word.
const std::string kFirmware = record(0x0000, {0x2805, 0x3FFF, 0x0000, 0x1234}) + record(0x0120, {0x0063}) +
                              record(0x2000, {0x0001, 0x0002}) + record(0x2005, {0x1111, 0x2222, 0x3F72}) +
                              record(0x2100 + 3, {0x00AB, 0x0001}) + kEnd;

class Folder {
public:
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "tagctl-firmware-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            dir_ = pattern;
    }
    ~Folder() { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }

private:
    fs::path dir_;
};

// The simulated microcontroller on the emulated modem lines of a serial link
// on a pseudo-terminal.
class Programming : public ::testing::Test {
protected:
    void SetUp() override
    {
        line_ = peer::ScriptedPeer::pty(kPort);
        handle = QVL_SerialOpen(kPort, 115200);
        ASSERT_GT(handle, 0);
        LVRM_ModemLinesHooks hooks{&target, &PicTarget::rtsLine, &PicTarget::dtrLine, nullptr, &PicTarget::dsrLine};
        ASSERT_EQ(LVRM_TestAttachModemLines(handle, &hooks), 1);
    }
    void TearDown() override { QVL_Close(handle); }

    Image load(const std::string& text)
    {
        Image image{};
        EXPECT_TRUE(loadHex(folder.write("fw.hex", text), image));
        return image;
    }

    Folder folder;
    PicTarget target;
    std::int32_t handle = -1;

private:
    std::unique_ptr<peer::ScriptedPeer> line_;
};

// What the device must hold after programming image: the set words, erased elsewhere.
void expectDeviceHolds(const PicTarget& target, const Image& image)
{
    for (std::size_t a = 0; a < kProgramWords; ++a)
        ASSERT_EQ(target.programMemory()[a], image[a] == kUnset ? 0x3FFF : image[a]) << "program word " << a;
    for (std::size_t a = 0; a < kDataBytes; ++a)
        ASSERT_EQ(target.dataMemory()[a], image[kDataBase + a] == kUnset ? 0xFF : image[kDataBase + a])
            << "data byte " << a;
    for (std::size_t i : {0, 1, 2, 3, 7})
        ASSERT_EQ(target.configMemory()[i], image[kConfigBase + i] == kUnset ? 0x3FFF : image[kConfigBase + i])
            << "configuration word " << i;
    EXPECT_EQ(target.configMemory()[5], 0x3FFF) << "nothing is kept at 0x2004-0x2006";
}

bool haveGpasm() { return std::system("command -v gpasm >/dev/null 2>&1") == 0; }

} // namespace

TEST_F(Programming, EveryWordOfTheFileIsProgrammedAndVerified)
{
    const Image image = load(kFirmware);
    EXPECT_EQ(image[0x0003], 0x1234);
    EXPECT_EQ(image[0x0004], kUnset);
    const Count count = countWords(image);
    EXPECT_EQ(count.program, 5u);
    EXPECT_EQ(count.data, 2u);
    EXPECT_EQ(count.config, 3u) << "0x2005 and 0x2006 hold nothing on the device";

    // Whatever the device held, code protection included.
    target.programMemory().fill(0x0000);
    target.configMemory()[7] = 0x0000;
    std::vector<std::size_t> seen;
    const Result r = program(handle, image, [&](std::size_t done, std::size_t total) {
        EXPECT_EQ(total, count.total());
        seen.push_back(done);
    });
    ASSERT_TRUE(r.ok) << r.call << " at " << r.address;
    EXPECT_EQ(r.written, count.total());
    EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

    expectDeviceHolds(target, image);
    EXPECT_EQ(target.dataMemory()[3], 0xAB);
    EXPECT_EQ(target.configWord(), 0x3F72);
    EXPECT_FALSE(target.programming());
    EXPECT_EQ(target.counters().lostEdges, 0u) << "every cycle was waited for";
}

TEST_F(Programming, AssembledFirmwareProgramsAndReadsBackIdentical)
{
    if (!haveGpasm())
        GTEST_SKIP() << "gpasm (gputils) is not installed";
    std::ostringstream src;
    src << "        processor 16f876a\n"
           "        __config 0x3F72\n"
           "        __idlocs 0x1234\n"
           "        org 0x0000\n"
           "        goto main\n"
           "        org 0x0004\n"
           "        retfie\n"
           "main:   movlw 0x05\n"
           "        movwf 0x20\n"
           "loop:   decfsz 0x20, f\n"
           "        goto loop\n"
           "        call table\n"
           "        nop\n"
           "        sleep\n"
           "table:  addwf 0x02, f\n";
    for (int i = 0; i < 24; ++i)
        src << "        retlw 0x" << std::hex << (i * 37 + 11) % 256 << std::dec << "\n";
    src << "        org 0x0300\n"
           "far:    goto far\n"
           "        dw 0x3FFF, 0x0000, 0x2AAA, 0x1555\n"
           "        org 0x2100\n";
    for (int i = 0; i < 32; ++i)
        src << "        de 0x" << std::hex << (i * 13 + 0x80) % 256 << std::dec << "\n";
    src << "        end\n";
    folder.write("fw.asm", src.str());
    const std::string command = "cd '" + folder.path("") + "' && gpasm -a inhx8m -q fw.asm > gpasm.log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    Image image{};
    ASSERT_TRUE(loadHex(folder.path("fw.hex"), image)); // through ORBA_HexToBinFile
    ASSERT_EQ(image[0x0300], 0x2B00) << "goto far";
    ASSERT_EQ(image[0x2007], 0x3F72);
    ASSERT_EQ(image[0x2100 + 1], (13 + 0x80) % 256);
    const Count count = countWords(image);
    EXPECT_EQ(count.program, 2u + 8 + 24 + 5);
    EXPECT_EQ(count.data, 32u);
    EXPECT_EQ(count.config, 5u);

    const Result r = program(handle, image);
    ASSERT_TRUE(r.ok) << r.call << " at " << r.address;
    EXPECT_EQ(r.written, count.total()) << "every word read back as it was assembled";
    expectDeviceHolds(target, image);
    EXPECT_EQ(target.counters().lostEdges, 0u);
}

TEST_F(Programming, FailuresNameTheCallAndTheWord)
{
    const Image image = load(kFirmware);
    // Word 1 holds what an erased word holds: increment (6 bits), read (6),
    // then the word read; its bit 3 is data bit 2.
    Result r = program(handle, image, [&](std::size_t done, std::size_t) {
        if (done == 1)
            target.invertEcho(6 + 6 + 3);
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.call, "ORBA_ReadDataFromProgram");
    EXPECT_EQ(r.address, 1u);
    EXPECT_TRUE(r.mismatch);
    EXPECT_EQ(r.got, 0x3FFF ^ 0x0004);
    EXPECT_EQ(r.expected, 0x3FFF);
    EXPECT_FALSE(target.programming()) << "programming mode ends after a failure";

    // Word 2: increment (6 bits), then the load command.
    r = program(handle, image, [&](std::size_t done, std::size_t) {
        if (done == 2)
            target.invertLevel(6 + 3);
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.call, "ORBA_LoadDataToProgram");
    EXPECT_EQ(r.address, 2u);
    EXPECT_FALSE(r.mismatch);

    target.setAcknowledgeReads(0);
    r = program(handle, image);
    EXPECT_EQ(r.call, "ORBA_EraseCodeProtectedMemory");
    EXPECT_EQ(r.written, 0u);
}

TEST(FirmwareProgressBar, FillsWithTheWordsDone)
{
    EXPECT_EQ(progressBar(0, 10, 10), "[..........]  0/10 words");
    EXPECT_EQ(progressBar(5, 10, 10), "[#####.....]  5/10 words");
    EXPECT_EQ(progressBar(10, 10, 10), "[##########] 10/10 words");
    EXPECT_EQ(progressBar(0, 0, 4), "[####] 0/0 words");
}

// ---------------------------------------------------------------------------
// The command as a user runs it.

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

Outcome runTagctl(const Folder& folder, const std::string& args)
{
    const std::string out = folder.path("stdout"), err = folder.path("stderr");
    const std::string command =
        "'" + platform::programDirectory() + "/tagctl' " + args + " > '" + out + "' 2> '" + err + "'";
    const int status = std::system(command.c_str());
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(out), read(err)};
}

std::vector<unsigned char> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(TagctlFirmware, Hex2BinWritesTheKeyedImage)
{
    Folder folder;
    const std::string hex = folder.write("fw.hex", record(0, {0x0201, 0x0403}) + kEnd);
    const Outcome r = runTagctl(folder, "firmware hex2bin '" + hex + "' '" + folder.path("fw.bin") + "' --key 1,0x0002");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("key words: 2"), std::string::npos) << r.out;
    const auto bytes = bytesOf(folder.path("fw.bin"));
    ASSERT_EQ(bytes.size(), std::size_t{ORBA_IMAGE_FILE_BYTES});
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 8),
              (std::vector<unsigned char>{0x00, 0x02, 0x01, 0x04, 0xFE, 0xFF, 0xFD, 0xFF}));

    const Outcome j = runTagctl(folder, "--json firmware hex2bin '" + hex + "' '" + folder.path("plain.bin") + "'");
    ASSERT_EQ(j.exitCode, 0) << j.err;
    EXPECT_NE(j.out.find("\"bytes\": 17408"), std::string::npos) << j.out;
    EXPECT_EQ(bytesOf(folder.path("plain.bin"))[4], 0xFF);
}

TEST(TagctlFirmware, MalformedFilesAreRefusedWithoutAnImage)
{
    Folder folder;
    const std::string hex = folder.write("bad.hex", ":0400000001020304F3\n" + kEnd); // checksum off by one
    const Outcome r = runTagctl(folder, "firmware hex2bin '" + hex + "' '" + folder.path("bad.bin") + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ORBA_HexToBinFile()"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(folder.path("bad.bin")));

    // Refused before any port is opened.
    const Outcome p = runTagctl(folder, "--json firmware program --port 9 '" + hex + "'");
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_NE(p.out.find("\"call\": \"ORBA_HexToBinFile\""), std::string::npos) << p.out;
}

TEST(TagctlFirmware, ProgramNeedsTheDeviceOnTheModemLines)
{
    Folder folder;
    const std::string hex = folder.write("fw.hex", kFirmware);
    // A pseudo-terminal has no modem lines: the device never acknowledges.
    const auto line = peer::ScriptedPeer::pty(kPort);
    const Outcome r = runTagctl(folder, "firmware program --port " + std::to_string(kPort) + " '" + hex + "'");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ORBA_EraseCodeProtectedMemory(): the device did not answer"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    const Outcome none = runTagctl(folder, "firmware program --port 9 '" + hex + "'");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("QVL_SerialOpen(): cannot open COM9"), std::string::npos) << none.err;
}

TEST(TagctlFirmware, CommandLineMistakes)
{
    Folder folder;
    for (const char* args : {"firmware", "firmware flash x.hex", "firmware hex2bin a.hex",
                             "firmware hex2bin a.hex b.bin --key 0x10000", "firmware hex2bin a.hex b.bin --key 1,,2",
                             "firmware hex2bin a.hex b.bin --fast", "firmware program",
                             "firmware program a.hex b.hex", "firmware program --port 0 a.hex"}) {
        const Outcome r = runTagctl(folder, args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_FALSE(r.err.empty()) << args;
    }
}
