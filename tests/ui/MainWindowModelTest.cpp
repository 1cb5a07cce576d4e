#include <ui/MainWindowModel.h>

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(MainWindowModel, TrayTipStartsWithTheHintAndPassesLongTipsWhole)
{
    MainWindowModel model;
    EXPECT_EQ(model.trayTip(), "Right-Click for Options");
    QSignalSpy shown(&model, &MainWindowModel::trayTipChanged);
    for (const QString &tip : {QStringLiteral("1.0 MB of 2.0 MB copied..."), QString(70, 'x')}) {
        model.setTrayTip(tip);
        EXPECT_EQ(model.trayTip(), tip);
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_EQ(shown.takeLast().at(0).toString(), tip);
    }
}

TEST(MainWindowModel, ProgressIsPassedOnInCallOrderEvenWhenRepeated)
{
    // The bar's margin depends on the order of its assignments, so none may
    // be dropped as a repeat.
    MainWindowModel model;
    QList<qint64> calls;
    QObject::connect(&model, &MainWindowModel::progressValueSet, [&](qint64 v) { calls << v; });
    QObject::connect(&model, &MainWindowModel::progressMaxSet, [&](qint64 m) { calls << -m; });
    model.setProgressValue(0);
    model.setProgressMax(100);
    model.setProgressValue(0);
    model.setProgressValue(50);
    EXPECT_EQ(calls, QList<qint64>({0, -100, 0, 50}));
}
