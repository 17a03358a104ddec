#include <gtest/gtest.h>

#include <unistd.h>

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
