#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Tests only talk to servers they start on loopback; a proxy set in the
    // environment must not capture those requests.
    qputenv("NO_PROXY", "127.0.0.1,localhost,::1");
    qputenv("no_proxy", "127.0.0.1,localhost,::1");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
