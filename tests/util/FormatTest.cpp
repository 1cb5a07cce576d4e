#include "util/Format.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Format, ByteSizePicksUnitAndPattern)
{
    const struct { double value; const char *pattern, *expected; } cases[] = {
        {0, "", "0 bytes"}, {1023, "", "1023 bytes"}, {1024, "", "1 KB"}, {1048575, "", "1024 KB"},
        {1048576, "", "1.0 MB"}, {1073741823, "", "1024.0 MB"}, {1073741824, "", "1.0 GB"}, {5.5 * 1073741824, "", "5.5 GB"},
        {1536, "###.00", "1.50 KB"}, {1536, "###", "2 KB"}, {500, "###", "500 bytes"}, {1023.5, "", ""}, {-1, "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatByteSize(c.value, c.pattern), c.expected) << c.value << " by \"" << c.pattern << "\"";
}

TEST(Format, DurationWritesSecondsMinutesHoursOrAnOverflow)
{
    const struct { float seconds; const char *expected; } cases[] = {  // nullptr: overflow
        {0, "0 sec"}, {59, "59 sec"}, {59.4f, "59 sec"}, {59.5f, "1 min 0 sec"}, {125, "2 min 5 sec"},
        {3599, "59 min 59 sec"}, {3600, "1 hr 0 min"}, {3725, "1 hr 2 min"}, {3690, "1 hr 2 min"}, {7170, "1 hr 0 min"},
        {-5, "-1 hr 0 min"}, {2147483648.0f, nullptr}, {std::numeric_limits<float>::quiet_NaN(), nullptr},
    };
    for (const auto &c : cases) {
        const std::optional<QString> text = formatDuration(c.seconds);
        EXPECT_EQ(text, c.expected ? std::optional<QString>(c.expected) : std::nullopt) << c.seconds;
    }
}
