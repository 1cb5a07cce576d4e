#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

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
