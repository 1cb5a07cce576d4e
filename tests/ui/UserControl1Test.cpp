#include <ui/UserControl1.h>

#include <QImage>

#include <gtest/gtest.h>

namespace {

const QRgb navy = qRgb(0, 0, 128);
const QRgb grey = qRgb(128, 128, 128);
const QRgb white = qRgb(255, 255, 255);

struct Bar {
    UserControl1 control;
    explicit Bar(int width, int height = 17) { control.resize(width, height); }
    QImage image() { return control.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

int navyPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == navy;
    return count;
}

} // namespace

TEST(UserControl1, NewAndZeroShowNoFill)
{
    Bar bar(529);
    EXPECT_TRUE(bar.control.fillRect().isEmpty());
    bar.control.setValue(0);
    bar.control.setMax(1000);
    EXPECT_TRUE(bar.control.fillRect().isEmpty());
    EXPECT_EQ(navyPixels(bar.image()), 0);
}

TEST(UserControl1, FrameIsSunkenWithWhiteCorners)
{
    Bar bar(529);
    const QImage image = bar.image();
    const int W = 529, H = 17;
    EXPECT_EQ(image.pixel(0, 0), grey);
    EXPECT_EQ(image.pixel(W - 2, 0), grey);     // top line stops before W - 1
    EXPECT_EQ(image.pixel(0, H - 2), grey);     // left line stops before H - 1
    EXPECT_EQ(image.pixel(W - 1, 0), white);    // right line starts at the top
    EXPECT_EQ(image.pixel(0, H - 1), white);    // bottom line starts at the left
    EXPECT_EQ(image.pixel(W - 1, H - 1), white);
    EXPECT_NE(image.pixel(1, 1), grey);         // interior is background
    EXPECT_NE(image.pixel(1, 1), navy);
}

// Value 0, Max M, then v: fill from x = 2 to 2 + min(v * W / M, W - 4).
struct FillCase {
    int width;
    qint64 max;
    qint64 value;
    int fillWidth; // 0 = hidden
};

class UserControl1Fill : public testing::TestWithParam<FillCase> {};

TEST_P(UserControl1Fill, FillFollowsValue)
{
    const FillCase c = GetParam();
    Bar bar(c.width);
    bar.control.setValue(0);
    bar.control.setMax(c.max);
    bar.control.setValue(c.value);
    const QRect fill = bar.control.fillRect();
    if (c.fillWidth == 0) {
        EXPECT_TRUE(fill.isEmpty());
        EXPECT_EQ(navyPixels(bar.image()), 0);
        return;
    }
    EXPECT_EQ(fill, QRect(2, 2, c.fillWidth, 17 - 4));
    const QImage image = bar.image();
    EXPECT_EQ(navyPixels(image), c.fillWidth * 13);
    EXPECT_EQ(image.pixel(2, 2), navy);
    EXPECT_EQ(image.pixel(1 + c.fillWidth, 14), navy);
    EXPECT_NE(image.pixel(2 + c.fillWidth, 8), navy);
    EXPECT_NE(image.pixel(1, 8), navy);
    EXPECT_NE(image.pixel(5, 1), navy);
    EXPECT_NE(image.pixel(5, 15), navy);
}

INSTANTIATE_TEST_SUITE_P(Cases, UserControl1Fill,
                         testing::Values(FillCase{529, 1000, 1000, 525},     // full stops 4 px short
                                         FillCase{529, 1000, 5000, 525},     // beyond Max draws as Max
                                         FillCase{200, 1000, 500, 100},      // half of the full width
                                         FillCase{200, 1000, 1, 0},          // under one pixel: nothing drawn
                                         FillCase{200, 10, 1, 20},
                                         FillCase{200, 1000, -5, 0},
                                         FillCase{528, 6000000000LL, 3000000000LL, 264},
                                         FillCase{529, 1000, 0, 0}));

TEST(UserControl1, SecondDownloadKeepsTheMargin)
{
    Bar bar(529);
    bar.control.setValue(0);
    bar.control.setMax(1000);
    bar.control.setValue(1000);
    bar.control.setValue(0);
    EXPECT_TRUE(bar.control.fillRect().isEmpty());
    bar.control.setMax(777);
    bar.control.setValue(777);
    EXPECT_EQ(bar.control.fillRect(), QRect(2, 2, 525, 13));
    bar.control.setValue(100000);
    EXPECT_EQ(bar.control.fillRect(), QRect(2, 2, 525, 13));
}

TEST(UserControl1, MaxKeepsTheFillUntilTheNextValue)
{
    Bar bar(200);
    bar.control.setValue(0);
    bar.control.setMax(100);
    bar.control.setValue(50);
    bar.control.setMax(1000);
    EXPECT_EQ(bar.control.fillRect().width(), 100);
    bar.control.setValue(50);
    EXPECT_EQ(bar.control.fillRect().width(), 10);
}

TEST(UserControl1, NonPositiveMaxLeavesTheAxis)
{
    Bar bar(200);
    bar.control.setValue(0);
    bar.control.setMax(100);
    bar.control.setMax(0);
    bar.control.setMax(-3);
    bar.control.setValue(50);
    EXPECT_EQ(bar.control.fillRect().width(), 100);
}

TEST(UserControl1, SizeChangeEmptiesTheFill)
{
    Bar bar(200);
    bar.control.show();
    bar.control.setValue(0);
    bar.control.setMax(100);
    bar.control.setValue(50);
    ASSERT_FALSE(bar.control.fillRect().isEmpty());
    bar.control.resize(300, 17);
    EXPECT_TRUE(bar.control.fillRect().isEmpty());
}
