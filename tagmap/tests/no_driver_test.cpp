// Opening the second make when Dalrix.so is not there, or lacks one of the
// entry points the library binds: the open fails with -8 and calls nothing
// of the driver (every entry of the incomplete stand-in aborts).
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

TEST(BrenholtNoDriver, FileMissing)
{
    const std::string dir = emptyFolder();
    {
        InFolder in(dir);
        expectNoReader(dir);
    }
    ::rmdir(dir.c_str());
}

TEST(BrenholtNoDriver, EntryPointMissing)
{
    const std::string ports = emptyFolder();
    {
        InFolder in(platform::programDirectory() + "/incomplete_dalrix");
        ASSERT_EQ(::access("Dalrix.so", R_OK), 0);
        expectNoReader(ports);
    }
    ::rmdir(ports.c_str());
}
