#include <transfer/TrayIconData.h>

#include <gtest/gtest.h>

TEST(TrayIconData, TipIsTextNulAndSpacesOrCutAtSixtyFourWithoutNul)
{
    TrayIconData tray;
    EXPECT_EQ(tray.shownTip(), "Right-Click for Options");

    tray.setTip(QStringLiteral("1.0 MB of 2.0 MB copied..."));
    EXPECT_EQ(tray.szTip(), QStringLiteral("1.0 MB of 2.0 MB copied...") + QChar(u'\0') + QString(37, ' '));
    EXPECT_EQ(tray.shownTip(), "1.0 MB of 2.0 MB copied...");

    const QString seventy = QString(70, 'x');
    tray.setTip(seventy);
    EXPECT_EQ(tray.szTip(), seventy.left(64));  // no room left for the NUL
    EXPECT_EQ(tray.shownTip(), seventy.left(64));
}
