#include <app/CommandLine.h>
#include <app/MainController.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

using Action = CommandLine::Action;

struct Parsed {
    const char *name;
    QStringList arguments;
    Action action = Action::Start;
    QString descriptorPath = {};
    QString url = {};
    QString refusalNames = {};  // a piece of the refusal that names what was not understood
};

}  // namespace

TEST(CommandLine, FormsADesktopOrAPersonHandsOver)
{
    const Parsed cases[] = {
        {.name = "nothing", .arguments = {}},
        {.name = "plain path", .arguments = {"/data/big.iso.ddf"}, .descriptorPath = "/data/big.iso.ddf"},
        {.name = "path split at its spaces, quoted", .arguments = {"\"/data/my", "big", "file.ddf\""},
         .descriptorPath = "/data/my big file.ddf"},
        {.name = "a path names no file: still a path, the loader ignores it", .arguments = {"www.example.org/f.ddf"},
         .descriptorPath = "www.example.org/f.ddf"},
        {.name = "after --, a name that starts with a dash", .arguments = {"--", "-odd.ddf"},
         .descriptorPath = "-odd.ddf"},
        {.name = "file URI with an escaped space", .arguments = {"file:///data/my%20file.ddf"},
         .descriptorPath = "/data/my file.ddf"},
        {.name = "file URI typed with a bare space", .arguments = {"file:///data/my", "file.ddf"},
         .descriptorPath = "/data/my file.ddf"},
        {.name = "file URI of localhost", .arguments = {"FILE://localhost/data/a.ddf"}, .descriptorPath = "/data/a.ddf"},
        {.name = "file URI of another computer", .arguments = {"file://fileserver/share/a.ddf"},
         .action = Action::Refuse, .refusalNames = "fileserver"},
        {.name = "file URI without a path", .arguments = {"file://"}, .action = Action::Refuse,
         .refusalNames = "file://"},
        {.name = "http URL", .arguments = {"http://127.0.0.1:8080/big.iso"}, .url = "http://127.0.0.1:8080/big.iso"},
        {.name = "https URL in capitals, kept as given", .arguments = {"HTTPS://Mirror.Example.org/Big.iso?x=1"},
         .url = "HTTPS://Mirror.Example.org/Big.iso?x=1"},
        {.name = "URL without a host", .arguments = {"http:///big.iso"}, .action = Action::Refuse,
         .refusalNames = "http:///big.iso"},
        {.name = "two URLs are not one", .arguments = {"http://a.example/x", "http://b.example/y"},
         .action = Action::Refuse, .refusalNames = "http://a.example/x http://b.example/y"},
        {.name = "another scheme", .arguments = {"ftp://mirror.example.org/big.iso"}, .action = Action::Refuse,
         .refusalNames = "ftp://"},
        {.name = "--help", .arguments = {"--help"}, .action = Action::PrintHelp},
        {.name = "-h beside a path", .arguments = {"x.ddf", "-h"}, .action = Action::PrintHelp},
        {.name = "--version", .arguments = {"--version"}, .action = Action::PrintVersion},
        {.name = "-v", .arguments = {"-v"}, .action = Action::PrintVersion},
        {.name = "unknown long option", .arguments = {"--bogus", "x.ddf"}, .action = Action::Refuse,
         .refusalNames = "bogus"},
        {.name = "unknown short option", .arguments = {"-q"}, .action = Action::Refuse, .refusalNames = "'q'"},
    };
    for (const Parsed &c : cases) {
        SCOPED_TRACE(c.name);
        const CommandLine line = CommandLine::parse(c.arguments);
        EXPECT_EQ(line.action(), c.action);
        EXPECT_EQ(line.request().descriptorPath, c.descriptorPath);
        EXPECT_EQ(line.request().url, c.url);
        if (c.action == Action::Refuse) {
            EXPECT_TRUE(line.text().contains(c.refusalNames)) << line.text().toStdString();
        }
    }
}

TEST(CommandLine, AnExistingFileStaysAPathWhateverItsNameLooksLike)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("ftp:"));
    QFile file(dir.filePath("ftp:/x.ddf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QString path = dir.path() + "/ftp://x.ddf";  // the same file, read as a URL when it is not one
    const CommandLine line = CommandLine::parse({path});
    EXPECT_EQ(line.action(), Action::Start);
    EXPECT_EQ(line.request().descriptorPath, path);
}

TEST(CommandLine, VersionAgreesWithTheWindowTitle)
{
    // Two sources of the version: the build's project version and the title's numbers.
    const QString printed = CommandLine::versionText().trimmed();
    const QString number = printed.section(' ', -1);
    EXPECT_TRUE(MainController::versionTitle().endsWith(" " + number)) << printed.toStdString();
    EXPECT_TRUE(printed.startsWith("Orvanta Downloader "));
}

namespace {

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The real program with no display at all: no DISPLAY, no platform plugin chosen.
ProgramRun runWithoutDisplay(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ORVANTA_BIN_DIR "/orvanta-downloader"), arguments);
    ProgramRun run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

}  // namespace

TEST(CommandLine, PrintsAndEndsWithoutADisplay)
{
    struct Case {
        QStringList arguments;
        int exitCode;
        QString out;  // expected standard output, whole
        QString errPiece;
    };
    const Case cases[] = {
        {{"--version"}, 0, CommandLine::versionText(), {}},
        {{"--help"}, 0, CommandLine::helpText(), {}},
        {{"--frobnicate"}, 2, {}, "frobnicate"},
        {{"gopher://old.example/x"}, 2, {}, "gopher://"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ProgramRun run = runWithoutDisplay(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(run.out, c.out);
        if (c.errPiece.isEmpty()) {
            EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        } else {
            EXPECT_TRUE(run.err.contains(c.errPiece) && run.err.contains("--help")) << run.err.toStdString();
        }
    }
}
