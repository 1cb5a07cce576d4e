// Installs the built tree into a temporary prefix, as a packager does, and
// checks what the desktop reads there with the desktop's own validators.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>


namespace {

const QString DesktopFile = "share/applications/orvanta-downloader.desktop";
const QString MetainfoFile = "share/metainfo/org.orvanta.downloader.metainfo.xml";
const QString MimeFile = "share/mime/packages/orvanta-downloader.xml";

struct Output {
    int exitCode = -1;
    QString text;  // standard output and error
};

Output run(const QString &program, const QStringList &arguments)
{
    QProcess process;  // killed when it outlives the bound
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, program + " did not run: " + process.errorString()};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

// The first capture of `pattern` (multi-line) in the file at `path`.
QString find(const QString &path, const QString &pattern)
{
    QFile file(path);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text).captured(1);
}

}  // namespace

TEST(Installed, PutsEveryFileWhereTheDesktopLooksAndTheValidatorsAcceptThem)
{
    QTemporaryDir prefix;
    const QString cmake = find(ORVANTA_BIN_DIR "/../CMakeCache.txt", "^CMAKE_COMMAND:[A-Z]+=(.*)$");  // the build's own
    const Output install = run(cmake, {"--install", ORVANTA_BIN_DIR "/..", "--prefix", prefix.path()});
    ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();
    const auto at = [&](const QString &relative) { return QDir(prefix.path()).filePath(relative); };
    // The files no validator or run below reads.
    EXPECT_TRUE(QFileInfo(at("bin/orvanta-downloader")).isExecutable());
    for (const char *file : {"share/man/man1/orvanta-downloader.1.gz", "share/man/man1/orvanta-ddf.1.gz",
                             "share/doc/orvanta-downloader/copyright", "share/doc/orvanta-downloader/changelog.gz"})
        EXPECT_TRUE(QFileInfo(at(file)).isFile()) << file;
    // Each bitmap icon is drawn at the size its folder names.
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon(at(QStringLiteral("share/icons/hicolor/%1x%1/apps/orvanta-downloader.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
    }
    // The desktop's own validators accept what it reads.
    const struct {
        QString program;
        QStringList arguments;
        bool quiet;  // nothing printed at all: warnings count too
    } checks[] = {
        {"desktop-file-validate", {at(DesktopFile)}, true},
        {"appstreamcli", {"validate", "--no-net", "--pedantic", at(MetainfoFile)}, false},
        {"xmllint", {"--noout", at(MimeFile)}, true},
    };
    for (const auto &c : checks) {
        SCOPED_TRACE((c.program + ' ' + c.arguments.join(' ')).toStdString());
        const Output result = run(c.program, c.arguments);
        EXPECT_EQ(result.exitCode, 0) << result.text.toStdString();
        EXPECT_TRUE(!c.quiet || result.text.isEmpty()) << result.text.toStdString();
    }
    // The descriptor type is known by its name in any letter case (no ":cs"
    // glob), and the menu entry opens it and nothing else: web links stay
    // with the browser.
    ASSERT_EQ(run("update-mime-database", {at("share/mime")}).exitCode, 0);
    EXPECT_EQ(find(at("share/mime/globs2"), "^\\d+:application/x-orvanta-ddf:(.*)$").toStdString(), "*.ddf");
    EXPECT_EQ(find(at(DesktopFile), "^MimeType=(.*)$"), "application/x-orvanta-ddf;");
    EXPECT_EQ(find(at(DesktopFile), "^Exec=(.*)$"), "orvanta-downloader %u");
    // The software centre names the release the programs report.
    const QString release = find(at(MetainfoFile), "<release version=\"([^\"]*)\"");
    EXPECT_EQ(run(at("bin/orvanta-ddf"), {"--version"}).text, "orvanta-ddf " + release + "\n");
    const QString icon = find(at(DesktopFile), "^Icon=(.*)$");
    EXPECT_TRUE(QFileInfo(at("share/icons/hicolor/scalable/apps/" + icon + ".svg")).isFile()) << icon.toStdString();
}
