#include <ui/MainWindowModel.h>

#include <gtest/gtest.h>

// The bar's margin depends on the order of its assignments, so none may be
// dropped as a repeat.
TEST(MainWindowModel, ProgressIsPassedOnInCallOrderEvenWhenRepeated)
{
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
