// Installs the built tree into a temporary prefix, as a packager does, and
// checks what the desktop reads there with the desktop's own validators.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <memory>

namespace {

const QString DesktopFile = "share/applications/orvanta-downloader.desktop";
const QString MetainfoFile = "share/metainfo/org.orvanta.downloader.metainfo.xml";
const QString MimeFile = "share/mime/packages/orvanta-downloader.xml";

struct Output {
    int exitCode = -1;
    QString out, err;
};

Output run(const QString &program, const QStringList &arguments,
           const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;  // killed when it outlives the bound
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, {}, program + " did not run: " + process.errorString()};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

// The first capture of `pattern` (multi-line) in the file at `path`.
QString find(const QString &path, const QString &pattern)
{
    QFile file(path);
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text).captured(1);
}

// A value of the build's cache, such as the cmake that configured it.
QString cacheValue(const QString &name)
{
    return find(ORVANTA_BIN_DIR "/../CMakeCache.txt", "^" + name + ":[A-Z]+=(.*)$");
}

// "Key=value" of the desktop entry.
QString desktopValue(const QString &path, const QString &key) { return find(path, "^" + key + "=(.*)$"); }

// The texts of every element named `name`, or its `attribute`'s values.
QStringList xmlTexts(const QString &path, const QString &name, const QString &attribute = {})
{
    QFile file(path);
    QStringList found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == name)
            found.append(attribute.isEmpty() ? xml.readElementText(QXmlStreamReader::IncludeChildElements)
                                             : xml.attributes().value(attribute).toString());
    }
    return found;
}

class Installed : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_prefix = std::make_unique<QTemporaryDir>();
        s_install = run(cacheValue("CMAKE_COMMAND"), {"--install", ORVANTA_BIN_DIR "/..", "--prefix", s_prefix->path()});
    }
    static void TearDownTestSuite() { s_prefix.reset(); }
    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.err.toStdString(); }
    static QString at(const QString &relative) { return QDir(s_prefix->path()).filePath(relative); }

    static inline std::unique_ptr<QTemporaryDir> s_prefix;
    static inline Output s_install;
};

}  // namespace

TEST_F(Installed, PutsEveryFileWhereTheDesktopLooks)
{
    for (const QString &file : QStringList{"bin/orvanta-downloader", "bin/orvanta-ddf", DesktopFile, MetainfoFile, MimeFile,
                                "share/icons/hicolor/scalable/apps/orvanta-downloader.svg",
                                "share/man/man1/orvanta-downloader.1.gz", "share/man/man1/orvanta-ddf.1.gz",
                                "share/doc/orvanta-downloader/copyright", "share/doc/orvanta-downloader/changelog.gz"})
        EXPECT_TRUE(QFileInfo(at(file)).isFile()) << file.toStdString();
    for (const char *program : {"bin/orvanta-downloader", "bin/orvanta-ddf"})
        EXPECT_TRUE(QFileInfo(at(program)).isExecutable()) << program;
    // Each bitmap icon is drawn at the size its folder names.
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage icon(at(QStringLiteral("share/icons/hicolor/%1x%1/apps/orvanta-downloader.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel()) << size;
    }
}

TEST_F(Installed, ValidatorsAcceptTheDesktopFiles)
{
    const struct {
        QString program;
        QStringList arguments;
        bool quiet;  // nothing printed at all: warnings count too
    } checks[] = {
        {"desktop-file-validate", {at(DesktopFile)}, true},
        {"appstreamcli", {"validate", "--no-net", "--pedantic", at(MetainfoFile)}, false},
        {"xmllint", {"--noout", at(MetainfoFile)}, true},
        {"xmllint", {"--noout", at(MimeFile)}, true},
    };
    for (const auto &c : checks) {
        SCOPED_TRACE((c.program + ' ' + c.arguments.join(' ')).toStdString());
        const Output result = run(c.program, c.arguments);
        EXPECT_EQ(result.exitCode, 0) << (result.out + result.err).toStdString();
        EXPECT_TRUE(!c.quiet || (result.out + result.err).isEmpty()) << (result.out + result.err).toStdString();
    }
    // The descriptor type is known by its name in any letter case: no ":cs" glob.
    ASSERT_EQ(run("update-mime-database", {at("share/mime")}).exitCode, 0);
    EXPECT_EQ(find(at("share/mime/globs2"), "^\\d+:application/x-orvanta-ddf:(.*)$").toStdString(), "*.ddf");
}

TEST_F(Installed, TheFilesAgreeWithEachOther)
{
    const QStringList types = xmlTexts(at(MimeFile), "mime-type", "type");
    ASSERT_EQ(types.size(), 1);
    // The menu entry opens the descriptor type and nothing else: web links stay with the browser.
    EXPECT_EQ(desktopValue(at(DesktopFile), "MimeType"), types.first() + ';');
    EXPECT_EQ(xmlTexts(at(MetainfoFile), "mediatype"), types);
    const QString icon = desktopValue(at(DesktopFile), "Icon");
    EXPECT_TRUE(QFileInfo(at("share/icons/hicolor/scalable/apps/" + icon + ".svg")).isFile()) << icon.toStdString();
    EXPECT_EQ(xmlTexts(at(MimeFile), "icon", "name"), QStringList(icon));
    EXPECT_EQ(xmlTexts(at(MetainfoFile), "icon"), QStringList(icon));
    // The menu runs the installed program, handing over one URL or file.
    EXPECT_EQ(desktopValue(at(DesktopFile), "Exec"), "orvanta-downloader %u");
    EXPECT_EQ(desktopValue(at(DesktopFile), "TryExec"), "orvanta-downloader");
    EXPECT_EQ(xmlTexts(at(MetainfoFile), "launchable"), QStringList(QFileInfo(DesktopFile).fileName()));
    for (const QString &binary : xmlTexts(at(MetainfoFile), "binary"))
        EXPECT_TRUE(QFileInfo(at("bin/" + binary)).isExecutable()) << binary.toStdString();
}

TEST_F(Installed, ManualPagesRenderCleanlyAndNameEveryOption)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("MANWIDTH", "80");
    env.remove("DISPLAY");
    for (const QString program : {"orvanta-downloader", "orvanta-ddf"}) {
        SCOPED_TRACE(program.toStdString());
        const Output page = run("man", {"--warnings", "-E", "ascii", "-l", at("share/man/man1/" + program + ".1.gz")}, env);
        EXPECT_EQ(page.exitCode, 0);
        EXPECT_EQ(page.err, QString());
        EXPECT_TRUE(page.out.contains("Orvanta Downloader " + cacheValue("CMAKE_PROJECT_VERSION")))
            << page.out.right(200).toStdString();
        // Every long option the program's help names is in its page.
        const Output help = run(at("bin/" + program), {"--help"}, env);
        ASSERT_EQ(help.exitCode, 0);
        int options = 0;
        for (auto it = QRegularExpression("--[a-z][a-z-]+").globalMatch(help.out); it.hasNext(); ++options) {
            const QString name = it.next().captured(0);
            EXPECT_TRUE(page.out.contains(name)) << name.toStdString();
        }
        EXPECT_GT(options, 0);
    }
}
