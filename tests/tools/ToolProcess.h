#pragma once

#include "descriptor/DescriptorBytes.h"
#include "support/TestServer.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// orvanta-ddf as a user runs it, in `folder` (empty: the test's own).
struct ToolRun {
    int exitCode;
    QString out, err;
};

inline ToolRun runOrvantaDdf(const QStringList &args, const QString &folder = {}, int timeoutMs = 60000)
{
    QProcess p;  // killed on destruction if it hangs
    p.setWorkingDirectory(folder);
    p.start(QStringLiteral(ORVANTA_BIN_DIR "/orvanta-ddf"), args);
    const bool finished = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
    EXPECT_TRUE(finished) << args.join(' ').toStdString();
    return {finished ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// A scratch folder whose srv/ is served on loopback.
class ServedFolder : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isRunning()) << server.errorString().toStdString(); }
    QByteArray url(const QString &pathAndQuery = "/f.bin") const { return server.url(pathAndQuery).toUtf8(); }
    QString save(const QString &name, const QByteArray &bytes)
    {
        EXPECT_TRUE(descriptortest::writeFile(m_dir.filePath(name), bytes));
        return m_dir.filePath(name);
    }

    QTemporaryDir m_dir;
    const QString root = m_dir.filePath("srv");
    const bool made = QDir().mkpath(root);
    TestServer server{root};
};
