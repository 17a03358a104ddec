// Opening the second make when Dalrix.so is not beside the library (nor
// beside the program), or lacks one of the entry points the library binds:
// the open fails with -8 and calls nothing of the driver (every entry of the
// incomplete stand-in aborts). A Dalrix.so in the current folder is never taken.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "brenholt.h"
#include "platform/dynlib.h"

namespace {

// Runs the test from another folder, and back.
class InFolder {
public:
    explicit InFolder(const std::string& dir) : previous_(platform::currentDirectory())
    {
        EXPECT_EQ(::chdir(dir.c_str()), 0) << dir;
    }
    ~InFolder() { EXPECT_EQ(::chdir(previous_.c_str()), 0); }

private:
    std::string previous_;
};

std::string emptyFolder()
{
    char dir[] = "/tmp/brenholt-no-driver-XXXXXX";
    EXPECT_NE(::mkdtemp(dir), nullptr);
    return dir;
}

// No port COM3 either: the port folder is empty.
void expectNoReader(const std::string& portFolder)
{
    ::setenv("TAGGING_PORT_DIR", portFolder.c_str(), 1);
    brnHandle handle = &handle;
    std::int32_t family = 0;
    EXPECT_EQ(brnOpenSerialByType(3, "DL", &handle, &family), BRN_ERR_NO_READER);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(brnOpenSerialByType(3, "dl", &handle, &family), BRN_ERR_NO_READER);
    EXPECT_EQ(brnOpenSerial(3, &handle, &family), BRN_ERR_NO_READER);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(family, 0);
}

} // namespace

#ifndef INCOMPLETE_DRIVER_BESIDE

// No Dalrix.so beside this program (which carries the library).
TEST(BrenholtNoDriver, FileMissing)
{
    const std::string dir = emptyFolder();
    {
        InFolder in(dir);
        expectNoReader(dir);
    }
    ::rmdir(dir.c_str());
}

TEST(BrenholtNoDriver, PlantedDriverInTheCurrentFolderIsNotLoaded)
{
    // The output folder holds a real driver: loaded from there, the open
    // would reach it and fail on the missing port (-1), not with -8.
    const std::string ports = emptyFolder();
    {
        InFolder in(platform::programDirectory() + "/..");
        ASSERT_EQ(::access("Dalrix.so", R_OK), 0);
        expectNoReader(ports);
    }
    ::rmdir(ports.c_str());
}

#else

// The incomplete stand-in beside this program (which carries the library),
// whatever folder the program starts from; a complete driver planted in that
// folder is not taken instead.
TEST(BrenholtNoDriver, EntryPointMissing)
{
    const std::string ports = emptyFolder();
    ASSERT_EQ(::access((platform::programDirectory() + "/Dalrix.so").c_str(), R_OK), 0);
    for (const std::string& start : {ports, platform::programDirectory() + "/.."}) {
        InFolder in(start);
        expectNoReader(ports);
    }
    ::rmdir(ports.c_str());
}

#endif
