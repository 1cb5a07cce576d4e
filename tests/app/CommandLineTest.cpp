#include <app/CommandLine.h>
#include <app/MainController.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using Action = CommandLine::Action;

TEST(CommandLine, FormsADesktopOrAPersonHandsOver)
{
    QTemporaryDir dir;  // holds "ftp:/x.ddf": an existing file stays a path whatever its name looks like
    ASSERT_TRUE(QDir(dir.path()).mkdir("ftp:") && QFile(dir.filePath("ftp:/x.ddf")).open(QIODevice::WriteOnly));
    const struct {
        const char *name;
        QStringList arguments;
        Action action;
        QString descriptorPath, url;
        QString refusalNames = {};  // a piece of the refusal that names what was not understood
    } cases[] = {
        {"nothing", {}, Action::Start, {}, {}},
        {"path split at its spaces, quoted", {"\"/data/my", "big", "file.ddf\""}, Action::Start, "/data/my big file.ddf", {}},
        {"names no file: still a path", {"www.example.org/f.ddf"}, Action::Start, "www.example.org/f.ddf", {}},
        {"an existing file named like a URL", {"%1/ftp://x.ddf"}, Action::Start, "%1/ftp://x.ddf", {}},
        {"after --, a name that starts with a dash", {"--", "-odd.ddf"}, Action::Start, "-odd.ddf", {}},
        {"file URI with an escaped space", {"file:///data/my%20file.ddf"}, Action::Start, "/data/my file.ddf", {}},
        {"file URI of localhost", {"FILE://localhost/data/a.ddf"}, Action::Start, "/data/a.ddf", {}},
        {"file URI of another computer", {"file://fileserver/share/a.ddf"}, Action::Refuse, {}, {}, "fileserver"},
        {"https URL in capitals, kept as given", {"HTTPS://Mirror.Example.org/Big.iso?x=1"}, Action::Start, {},
         "HTTPS://Mirror.Example.org/Big.iso?x=1"},
        {"two URLs are not one", {"http://a.example/x", "http://b.example/y"}, Action::Refuse, {}, {}, "http://a.example/x"},
        {"another scheme", {"ftp://mirror.example.org/big.iso"}, Action::Refuse, {}, {}, "ftp://"},
        {"-h beside a path", {"x.ddf", "-h"}, Action::PrintHelp, {}, {}},
        {"-v", {"-v"}, Action::PrintVersion, {}, {}},
        {"unknown long option", {"--bogus", "x.ddf"}, Action::Refuse, {}, {}, "bogus"},
        {"unknown short option", {"-q"}, Action::Refuse, {}, {}, "'q'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList arguments = c.arguments.join('\n').replace("%1", dir.path()).split('\n', Qt::SkipEmptyParts);
        const CommandLine line = CommandLine::parse(arguments);
        EXPECT_EQ(line.action(), c.action);
        EXPECT_EQ(line.request().descriptorPath, QString(c.descriptorPath).replace("%1", dir.path()));
        EXPECT_EQ(line.request().url, c.url);
        EXPECT_TRUE(line.text().contains(c.refusalNames)) << line.text().toStdString();
    }
}

// The real program with no display at all prints, ends, and names the same
// version as the window's title.
TEST(CommandLine, PrintsAndEndsWithoutADisplay)
{
    const QString version = CommandLine::versionText().trimmed();
    EXPECT_TRUE(version.startsWith("Orvanta Downloader "));
    EXPECT_TRUE(MainController::versionTitle().endsWith(" " + version.section(' ', -1))) << version.toStdString();
    const struct {
        QStringList arguments;
        int exitCode;
        QString out, errPiece;  // the whole standard output; a piece of the error output
    } cases[] = {
        {{"--version"}, 0, CommandLine::versionText(), {}},
        {{"--help"}, 0, CommandLine::helpText(), {}},
        {{"--frobnicate"}, 2, {}, "frobnicate"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess program;  // killed when it outlives the bound
        program.setProcessEnvironment(env);
        program.start(ORVANTA_BIN_DIR "/orvanta-downloader", c.arguments);
        ASSERT_TRUE(program.waitForFinished(20000) && program.exitStatus() == QProcess::NormalExit);
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitCode(), c.exitCode) << err.toStdString();
        EXPECT_EQ(QString::fromLocal8Bit(program.readAllStandardOutput()), c.out);
        EXPECT_TRUE(c.errPiece.isEmpty() ? err.isEmpty() : err.contains(c.errPiece) && err.contains("--help")) << err.toStdString();
    }
}
