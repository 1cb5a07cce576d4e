#include "DownloadProgressLine.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

TEST(DownloadProgressLine, TextsShowPercentBytesRateTimeLeftAndServers)
{
    const struct { ProgressFigures f; int width; const char *text; } cases[] = {
        {{1363148, 3000000, true, 600000, 3, 4}, 0, " 45%  1.3 MB of 2.9 MB  586 KB/s  3 sec left  4 servers"},
        {{0, 5000, true, 0, 0, 1}, 0, "  0%  0 bytes of 5 KB  0 bytes/s  time left unknown  1 server"},
        {{6000, 5000, true, 1023.7, 0, 1}, 0, "100%  6 KB of 5 KB  1023 bytes/s  0 sec left  1 server"},  // never past 100%
        {{3 * 1073741824LL, 0, false, 5 * 1048576.0, 0, 2}, 0, "3.0 GB  5.0 MB/s  2 servers"},  // size not announced
        {{1363148, 3000000, true, 600000, 3725, 1}, 24, " 45%  1.3 MB of 2.9 MB  "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DownloadProgressLine::transferText(c.f, c.width).toStdString(), c.text) << c.text;
    EXPECT_EQ(DownloadProgressLine::checkText(2 * 1048576, 8 * 1048576).toStdString(),
              " 25%  checking the file: 2.0 MB of 8.0 MB");
}

// On a terminal the line is redrawn in place and log lines go above it; the
// redraws are spaced out, except for the last one, which stays when the
// download ends. Anywhere else only the log lines appear.
TEST(DownloadProgressLine, RedrawsInPlaceOnATerminalAndPrintsOnlyLinesElsewhere)
{
    const QByteArray first = "\r  1%  40 KB of 4.0 MB  40 KB/s  1 min 41 sec left  1 server\x1b[K";
    const QByteArray last = "\r100%  4.0 MB of 4.0 MB  40 KB/s  0 sec left  1 server\x1b[K";
    const struct { bool terminal; QByteArray expected; } cases[] = {
        {true, first + "\r\x1b[K" "12:00:00 Saving data to disk...\n" + first + last + "\n"
                   "12:00:01 Your download has been completed and verified!\n"},
        {false, "12:00:00 Saving data to disk...\n12:00:01 Your download has been completed and verified!\n"},
    };
    for (const auto &c : cases) {
        char *bytes = nullptr;
        size_t size = 0;
        std::FILE *stream = open_memstream(&bytes, &size);
        ASSERT_NE(stream, nullptr);
        {
            DownloadProgressLine line(stream, c.terminal, std::chrono::hours(1));
            line.showTransfer(40960, 4194304, true, 40960, 101);
            line.printLine("12:00:00 Saving data to disk...");
            line.showTransfer(81920, 4194304, true, 40960, 100);  // too soon: not drawn
            line.showTransfer(4194304, 4194304, true, 40960, 0);  // the end is always drawn
            line.finish();  // the last figures stay
            line.printLine("12:00:01 Your download has been completed and verified!");
        }
        std::fclose(stream);
        EXPECT_EQ(std::string(bytes, size), c.expected.toStdString()) << c.terminal;
        std::free(bytes);
    }
}
