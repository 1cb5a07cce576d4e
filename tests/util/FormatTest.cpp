#include "util/Format.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

struct PatternCase {
    double number;
    const char *pattern;
    const char *expected;
};

class FormatWithPatternTest : public testing::TestWithParam<PatternCase> {};

TEST_P(FormatWithPatternTest, WritesDigits)
{
    const PatternCase &c = GetParam();
    EXPECT_EQ(FormatWithPattern(c.number, QString::fromLatin1(c.pattern)), QString::fromLatin1(c.expected))
        << c.number << " by \"" << c.pattern << "\"";
}

INSTANTIATE_TEST_SUITE_P(Patterns, FormatWithPatternTest, testing::Values(
    PatternCase{1.5, "###0", "2"},
    PatternCase{2.5, "###0", "3"},          // half-way goes away from zero, not to even
    PatternCase{-2.5, "###0", "-3"},
    PatternCase{0.5, "###.00", ".50"},
    PatternCase{0.4, "###", ""},
    PatternCase{0.5, "##0%", "50%"},
    PatternCase{0.125, "##0%", "13%"},
    PatternCase{2, "#0", "2"},
    PatternCase{0, "#0", "0"},
    PatternCase{0, "0", "0"},
    PatternCase{0, "###", ""},
    PatternCase{1536.0 / 1024, "###.00", "1.50"},
    PatternCase{1.005, "###.00", "1.01"},   // rounds the decimal digits a reader sees
    PatternCase{9.96, "###0.0", "10.0"},    // carry into a new integer digit
    PatternCase{99.95, "###0.0", "100.0"},
    PatternCase{0.04, "###0.0", "0.0"},
    PatternCase{0.05, "###0.0", "0.1"},
    PatternCase{1234567, "###", "1234567"}, // no grouping
    PatternCase{-7, "0", "-7"},
    PatternCase{-0.4, "###0", "0"},          // no "-0"
    PatternCase{512, "", "512"},
    PatternCase{512.5, "", "512.5"},
    PatternCase{-3.25, "", "-3.25"},
    PatternCase{1e20, "", "100000000000000000000"}));

struct SizeCase {
    double value;
    const char *pattern;
    const char *expected;
};

class FormatByteSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(FormatByteSizeTest, PicksUnitAndPattern)
{
    const SizeCase &c = GetParam();
    EXPECT_EQ(FormatByteSize(c.value, QString::fromLatin1(c.pattern)), QString::fromLatin1(c.expected)) << c.value;
}

INSTANTIATE_TEST_SUITE_P(Ranges, FormatByteSizeTest, testing::Values(
    SizeCase{0, "", "0 bytes"},
    SizeCase{1023, "", "1023 bytes"},
    SizeCase{1024, "", "1 KB"},
    SizeCase{1048575, "", "1024 KB"},
    SizeCase{1048576, "", "1.0 MB"},
    SizeCase{1073741823, "", "1024.0 MB"},
    SizeCase{1073741824, "", "1.0 GB"},
    SizeCase{5.5 * 1073741824, "", "5.5 GB"},
    SizeCase{1536, "###.00", "1.50 KB"},
    SizeCase{1536, "###", "2 KB"},
    SizeCase{3 * 1048576, "###.00", "3.00 MB"},
    SizeCase{500, "###", "500 bytes"},
    SizeCase{512.5, "", "512.5 bytes"},
    SizeCase{1023.5, "", ""},
    SizeCase{1048575.5, "", ""},
    SizeCase{-1, "", ""}));

struct DurationCase {
    float seconds;
    const char *expected;
};

class FormatDurationTest : public testing::TestWithParam<DurationCase> {};

TEST_P(FormatDurationTest, WritesSecondsMinutesHours)
{
    const DurationCase &c = GetParam();
    const std::optional<QString> text = FormatDuration(c.seconds);
    ASSERT_TRUE(text.has_value()) << c.seconds;
    EXPECT_EQ(*text, QString::fromLatin1(c.expected)) << c.seconds;
}

INSTANTIATE_TEST_SUITE_P(Durations, FormatDurationTest, testing::Values(
    DurationCase{0, "0 sec"},
    DurationCase{59, "59 sec"},
    DurationCase{59.4f, "59 sec"},
    DurationCase{59.5f, "1 min 0 sec"},
    DurationCase{0.5f, "0 sec"},             // half-way to even
    DurationCase{1.5f, "2 sec"},
    DurationCase{125, "2 min 5 sec"},
    DurationCase{3599, "59 min 59 sec"},
    DurationCase{3600, "1 hr 0 min"},
    DurationCase{3725, "1 hr 2 min"},
    DurationCase{3690, "1 hr 2 min"},        // 61.5 minutes round up
    DurationCase{7170, "1 hr 0 min"},        // 119.5 minutes round to 120
    DurationCase{90000, "25 hr 0 min"},
    DurationCase{-5, "-1 hr 0 min"},
    DurationCase{2147483520.0f, "596523 hr 12 min"}));

TEST(FormatDurationOverflow, OutOfRangeSecondsAreAnError)
{
    EXPECT_FALSE(FormatDuration(2147483648.0f).has_value());
    EXPECT_FALSE(FormatDuration(-2147483904.0f).has_value());
    EXPECT_FALSE(FormatDuration(std::numeric_limits<float>::infinity()).has_value());
    EXPECT_FALSE(FormatDuration(std::numeric_limits<float>::quiet_NaN()).has_value());
    EXPECT_TRUE(FormatDuration(-2147483648.0f).has_value());
}

}  // namespace
