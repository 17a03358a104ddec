// Reader answers to the library's error codes.
#include <gtest/gtest.h>

#include "errors.h"
#include "first_make.h"

using namespace brenholt;

TEST(StatusMapping, ReturnCodeFirstThenStatusByte)
{
    const struct {
        std::int32_t returnCode;
        std::uint8_t status;
        std::int32_t mapped;
    } cases[] = {
        {0, 0x00, 0},    {0, 0x89, -15}, {0, 0xC5, -15}, {0, 0xC4, -14}, {0, 0xCC, -13}, {0, 0x82, 0},
        {0, 0x81, 0},    {0, 0xFF, 0},   {0, 0x09, 0},   {-4, 0xC4, -4}, {-2, 0x89, -2},
        {0x30, 0x00, 48}, {0x0F, 0x03, 15},
        {-9, 0x00, -4}, // a link whose line has gone: the reader does not answer
    };
    for (const auto& c : cases)
        EXPECT_EQ(statusMapping(c.returnCode, c.status), c.mapped) << c.returnCode << " / " << int(c.status);
}

TEST(StatusMapping, AFailedStepIsNeverSuccess)
{
    // A first-make step fails on bit 7 of the status byte; one whose status
    // names no error is reported with the step's fallback code.
    EXPECT_EQ(commandOutcome(0, 0x00).error(), 0);
    EXPECT_EQ(commandOutcome(0, 0x7F).error(), 0) << "bit 7 clear: success";
    EXPECT_EQ(commandOutcome(0, 0x82).error(), BRN_ERR_READER);
    EXPECT_EQ(commandOutcome(0, 0x82, BRN_ERR_NO_TAG).error(), BRN_ERR_NO_TAG);
    EXPECT_EQ(commandOutcome(0, 0xC4, BRN_ERR_READER).error(), BRN_ERR_NO_TAG);
    EXPECT_EQ(commandOutcome(-4, 0x00).error(), -4);
    // EAS writes take "no tag answered" for done.
    EXPECT_TRUE(easWriteOutcome(0, 0xC4).ok);
    EXPECT_FALSE(easWriteOutcome(0, 0xCC).ok);
    EXPECT_FALSE(easWriteOutcome(-4, 0xC4).ok);
    // Tag answers with the record's "no answer" nibble or the tag's error flag.
    const std::uint8_t answered[] = {0x00, 0x00};
    const std::uint8_t noAnswer[] = {0x01};
    const std::uint8_t refused[] = {0x00, 0x01, 0x12};
    EXPECT_TRUE(tagOutcome(0, 0, sizeof answered, answered, BRN_ERR_NO_TAG).ok);
    EXPECT_EQ(tagOutcome(0, 0, sizeof noAnswer, noAnswer, BRN_ERR_NO_TAG).error(), BRN_ERR_NO_TAG);
    EXPECT_EQ(tagOutcome(0, 0, sizeof refused, refused, BRN_ERR_NO_TAG).error(), BRN_ERR_NO_TAG);
}
