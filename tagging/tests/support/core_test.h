// What the tests of the program's core share: the settings store lives in a
// temporary folder for the whole test program (an environment registered by
// core_test.cpp), and each test starts with it empty.
#pragma once

#include <QString>

#include <gtest/gtest.h>

#include <ostream>

// Texts in test failures as text.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Base of the tests that use the settings store: an empty store.
class CoreTest : public ::testing::Test {
protected:
    void SetUp() override;
};
