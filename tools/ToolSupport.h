#pragma once

#include "descriptor/DescriptorHeader.h"

#include <QString>
#include <QStringList>

#include <chrono>

// Exit codes shared by the commands of orvanta-ddf.
enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

void printOut(const QString &line);
void printErr(const QString &line);
// Prints "orvanta-ddf: <message>" on stderr and returns ExitUsage.
int refuse(const QString &message);

// A one-line progress display on stderr, shown only when stderr is a
// terminal and the work is large enough to take a noticeable time.
class ProgressLine {
public:
    ProgressLine(const QString &label, qint64 total);
    ~ProgressLine();
    void update(qint64 done);
    void finish();

private:
    QString m_label;
    qint64 m_total;
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last;
};

// Reads the header of `path` for info and verify: nullopt (after telling
// why on stderr) when it is missing, unreadable or shorter than a header.
std::optional<DescriptorHeader> loadDescriptor(const QString &path, qint64 *descriptorSize);

int runCreate(const QStringList &args);
int runInfo(const QStringList &args);
int runVerify(const QStringList &args);
