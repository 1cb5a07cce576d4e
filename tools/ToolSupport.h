#pragma once

#include "descriptor/DescriptorHeader.h"
#include "descriptor/DescriptorTrailer.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <optional>

class QCommandLineParser;

// Exit codes shared by the commands of orvanta-ddf.
enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// Runs orvanta-ddf with `arguments` (the program name first).
int runTool(const QStringList &arguments);

int runCreate(const QStringList &args);
int runInfo(const QStringList &args);
int runVerify(const QStringList &args);
// These two run the event loop until they are done.
int runGet(const QStringList &args);
int runCheckServers(const QStringList &args);

// Where the commands print; stdout and stderr unless replaced (the fuzz
// target sends both to /dev/null).
void setToolStreams(std::FILE *out, std::FILE *err);
void printOut(const QString &line);
void printErr(const QString &line);
// Prints "orvanta-ddf: <message>" on the error stream and returns ExitUsage.
int refuse(const QString &message);

// Parses a command's arguments (without the command name) with `parser`,
// which has its options and positional arguments set. Returns an exit code
// when the command is done (help shown, or a parse error reported), nullopt
// when it should go on.
std::optional<int> parseCommand(QCommandLineParser &parser, const QString &command, const QStringList &args);

// A one-line progress display on the error stream, shown only when it is a
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

// A descriptor named on the command line, read for info and verify.
struct DescriptorArgument {
    DescriptorHeader header;
    qint64 length = 0;  // the descriptor file's length in bytes
    TrailerRead trailer;  // the strong hashes, when it has them, or what is wrong with them
    qint64 fileSize() const { return trailer.trailer ? trailer.trailer->fileSize : qint64(header.fileSize); }
};

// Reads the header of `path`: nullopt (after saying why on the error stream)
// when it is missing, a folder, unreadable or shorter than a header.
std::optional<DescriptorArgument> readDescriptorArgument(const QString &path);
