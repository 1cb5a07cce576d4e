#include <ui/Artwork.h>
#include <ui/TrayIcon.h>

#include <QImage>
#include <QSignalSpy>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

TEST(TrayIcon, WithoutATrayEveryOperationIsANoOp)
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "a tray is available on this display";
    TrayIcon tray(windowIcon());
    QSignalSpy left(&tray, &TrayIcon::leftClicked);
    EXPECT_FALSE(tray.available());
    tray.add(QStringLiteral("Right-Click for Options"));
    tray.setTip(QStringLiteral("42% done"));
    tray.remove();
    EXPECT_TRUE(tray.findChildren<QSystemTrayIcon *>().isEmpty());
    EXPECT_EQ(left.count(), 0);
}

TEST(Artwork, IconIsARedSilhouetteOnTransparency)
{
    const QImage icon = windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    int red = 0, clear = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QColor c = icon.pixelColor(x, y);
            if (c.alpha() == 0)
                ++clear;
            else if (c.alpha() == 255)
                red += c.red() > 150 && c.green() < 60 && c.blue() < 60;
        }
    EXPECT_GT(red, 150);
    EXPECT_GT(clear, 300);
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);

    const QImage picture = serverButtonPicture().toImage();
    EXPECT_EQ(picture.size(), QSize(20, 22));
    EXPECT_EQ(picture.pixelColor(0, 21), QColor(192, 192, 192));
}
