#include <ui/UserControl1.h>

#include <QImage>

#include <algorithm>

#include <gtest/gtest.h>

namespace {
const QRgb navy = qRgb(0, 0, 128);

int navyPixels(const QImage &image)  // RGB32: rows of whole pixels, no padding
{
    const auto *pixels = reinterpret_cast<const QRgb *>(image.constBits());
    return int(std::count(pixels, pixels + image.width() * image.height(), navy));
}

// After an earlier download, the fill runs from x = 2 to
// 2 + min(value * width / Max, width - 4), 13 px high.
struct FillCase {
    const char *name;
    int width;
    qint64 max, value;
    int fill;  // 0: nothing drawn
};
void PrintTo(const FillCase &c, std::ostream *os) { *os << c.name; }
} // namespace

class UserControl1Fill : public testing::TestWithParam<FillCase> {};

TEST_P(UserControl1Fill, DrawsTheFillFromTheLeftEdge)
{
    const FillCase c = GetParam();
    UserControl1 bar;
    bar.resize(c.width, 17);
    // Each download as the window drives it: value 0, then Max, then the value.
    bar.setValue(0);
    bar.setMax(777);
    bar.setValue(777);  // an earlier download, complete
    bar.setValue(0);
    bar.setMax(c.max);
    bar.setValue(c.value);
    EXPECT_EQ(bar.fillRect(), c.fill ? QRect(2, 2, c.fill, 13) : QRect());
    const QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(navyPixels(image), c.fill * 13);
    EXPECT_EQ(image.pixel(2, 2) == navy, c.fill > 0);             // top left of the fill
    EXPECT_EQ(image.pixel(1 + c.fill, 14) == navy, c.fill > 0);  // bottom right
}

INSTANTIATE_TEST_SUITE_P(Cases, UserControl1Fill,
                         testing::Values(FillCase{"ZeroIsHidden", 529, 1000, 0, 0},
                                         FillCase{"MaxStopsFourPixelsShort", 529, 1000, 1000, 525},
                                         FillCase{"BeyondMaxDrawsAsMax", 529, 1000, 5000, 525},
                                         FillCase{"HalfFillsHalf", 200, 1000, 500, 100},
                                         FillCase{"UnderOnePixelIsHidden", 200, 1000, 1, 0},
                                         FillCase{"SizesBeyond32Bits", 528, 6000000000LL, 3000000000LL, 264}),
                         [](const testing::TestParamInfo<FillCase> &info) { return std::string(info.param.name); });
