#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/dynlib.h"

using platform::SharedLibrary;

TEST(SharedLibrary, LoadsFromCurrentDirectoryAndFindsNames)
{
    // Tests run in the output folder, where the plugin is built.
    auto lib = SharedLibrary::open("platform_test_plugin.so");
    ASSERT_TRUE(lib.isOpen()) << lib.error();
    auto answer = reinterpret_cast<int (*)()>(lib.symbol("plugin_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(lib.symbol("no_such_entry"), nullptr);
}

TEST(SharedLibrary, BareNameIsNotSearchedOnLibraryPath)
{
    // libc exists on the library path, but not in the current directory.
    auto lib = SharedLibrary::open("libc.so.6");
    EXPECT_FALSE(lib.isOpen());
    EXPECT_FALSE(lib.error().empty());
}

TEST(SharedLibrary, Directories)
{
    char buffer[4096];
    ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
    EXPECT_EQ(platform::currentDirectory(), buffer);
    // The test program lives in the output folder it runs from.
    EXPECT_EQ(platform::programDirectory(), buffer);
}

TEST(SharedLibrary, ByNameFromTheLoadersFolderNeverFromTheCurrentOne)
{
    // An address in this program: its folder is the output folder, with the plugin.
    static const char anchor[] = "anchor";
    EXPECT_EQ(platform::libraryDirectory(anchor), platform::programDirectory());
    EXPECT_EQ(platform::libraryDirectory(nullptr), "");

    char dir[] = "/tmp/platform-by-name-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string planted = std::string(dir) + "/planted.so";
    ASSERT_EQ(::symlink((platform::programDirectory() + "/platform_test_plugin.so").c_str(), planted.c_str()), 0);
    const std::string here = platform::currentDirectory();
    ASSERT_EQ(::chdir(dir), 0);
    auto fromHere = SharedLibrary::openByName("planted.so", anchor);
    auto beside = SharedLibrary::openByName("platform_test_plugin.so", anchor);
    EXPECT_EQ(::chdir(here.c_str()), 0);
    ::unlink(planted.c_str());
    ::rmdir(dir);
    EXPECT_FALSE(fromHere.isOpen()) << "only in the current folder";
    EXPECT_FALSE(fromHere.error().empty());
    ASSERT_TRUE(beside.isOpen()) << beside.error();
    EXPECT_EQ(reinterpret_cast<int (*)()>(beside.symbol("plugin_answer"))(), 42);
}
