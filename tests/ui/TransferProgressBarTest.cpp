#include <ui/TransferProgressBar.h>

#include <QImage>

#include <gtest/gtest.h>

// One download as the window drives it after an earlier complete one:
// value 0, then the maximum, then the running amount. The fill follows the
// value in proportion, hides below one pixel, and stays inside the frame.
TEST(TransferProgressBar, FillsInProportionAndStaysInsideTheFrame)
{
    const struct {
        const char *name;
        int width;
        qint64 max, value;
        int fill;  // expected fill width in pixels; 0: nothing drawn
    } cases[] = {
        {"half fills half the whole width", 200, 1000, 500, 100}, {"under one pixel is hidden", 200, 1000, 1, 0},
        {"sizes beyond 32 bits", 528, 6000000000LL, 3000000000LL, 264},
        {"overfull", 529, 1000, 5000, 525},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TransferProgressBar bar;
        bar.resize(c.width, 17);
        bar.setValue(0), bar.setMax(777), bar.setValue(777);  // the earlier download
        bar.setValue(0), bar.setMax(c.max), bar.setValue(c.value);
        const QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int navy = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                navy += image.pixel(x, y) == qRgb(0, 0, 128);
        EXPECT_EQ(navy, c.fill * 13);
    }
}
