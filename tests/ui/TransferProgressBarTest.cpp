#include <ui/TransferProgressBar.h>

#include <QImage>

#include <algorithm>

#include <gtest/gtest.h>

namespace {
const QRgb navy = qRgb(0, 0, 128);

QImage picture(TransferProgressBar &bar)
{
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int navyPixels(const QImage &image)  // RGB32: rows of whole pixels, no padding
{
    const auto *pixels = reinterpret_cast<const QRgb *>(image.constBits());
    return int(std::count(pixels, pixels + image.width() * image.height(), navy));
}

// One download as the window drives it, after an earlier complete one:
// value 0, then the maximum, then the running amount.
void drive(TransferProgressBar &bar, qint64 max, qint64 value)
{
    bar.setValue(0);
    bar.setMax(777);
    bar.setValue(777);
    bar.setValue(0);
    bar.setMax(max);
    bar.setValue(value);
}

struct FillCase {
    const char *name;
    int width;
    qint64 max, value;
    int fill;  // expected fill width in pixels; 0: nothing drawn
};
void PrintTo(const FillCase &c, std::ostream *os) { *os << c.name; }
} // namespace

class TransferProgressBarFill : public testing::TestWithParam<FillCase> {};

TEST_P(TransferProgressBarFill, FillsInProportionFromTwoPixelsIn)
{
    const FillCase c = GetParam();
    TransferProgressBar bar;
    bar.resize(c.width, 17);
    drive(bar, c.max, c.value);
    EXPECT_EQ(bar.fillRect(), c.fill ? QRect(2, 2, c.fill, 13) : QRect());
    const QImage image = picture(bar);
    EXPECT_EQ(navyPixels(image), c.fill * 13);
    if (c.fill) {
        EXPECT_EQ(image.pixel(2, 2), navy);
        EXPECT_EQ(image.pixel(1 + c.fill, 14), navy);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferProgressBarFill,
                         testing::Values(FillCase{"ZeroIsHidden", 529, 1000, 0, 0},
                                         FillCase{"HalfFillsHalfTheWholeWidth", 200, 1000, 500, 100},
                                         FillCase{"UnderOnePixelIsHidden", 200, 1000, 1, 0},
                                         FillCase{"SizesBeyond32Bits", 528, 6000000000LL, 3000000000LL, 264}),
                         [](const testing::TestParamInfo<FillCase> &info) { return std::string(info.param.name); });

TEST(TransferProgressBar, AFullOrOverfullBarStaysInsideTheFrame)
{
    for (const qint64 value : {1000, 5000}) {
        SCOPED_TRACE(value);
        TransferProgressBar bar;
        bar.resize(529, 17);
        drive(bar, 1000, value);
        const QImage image = picture(bar);
        EXPECT_EQ(image.pixel(526, 8), navy);
        // The right frame line and a one-pixel gap stay visible.
        EXPECT_NE(image.pixel(527, 8), navy);
        EXPECT_EQ(image.pixel(528, 8), qRgb(255, 255, 255));
    }
}
