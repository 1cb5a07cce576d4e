// Installs the built tree into a temporary prefix, as a packager does, and
// checks what the desktop reads there with the desktop's own validators.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <memory>

namespace {

const QString BuildDir = QDir::cleanPath(QStringLiteral(ORVANTA_BIN_DIR "/.."));
const QString DesktopFile = QStringLiteral("share/applications/orvanta-downloader.desktop");
const QString MetainfoFile = QStringLiteral("share/metainfo/org.orvanta.downloader.metainfo.xml");
const QString MimeFile = QStringLiteral("share/mime/packages/orvanta-downloader.xml");
const int IconSizes[] = {16, 32, 48, 64, 128, 256};

struct Output {
    int exitCode = -1;
    QString out;
    QString err;
};

Output run(const QString &program, const QStringList &arguments, const QProcessEnvironment &env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(program, arguments);
    Output result;
    if (!process.waitForStarted(10000)) {
        result.err = program + QStringLiteral(" did not start: ") + process.errorString();
        return result;
    }
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        result.err = program + QStringLiteral(" did not finish");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// A value of the build's cache, such as the cmake that configured it.
QString cacheValue(const QString &name)
{
    QFile cache(BuildDir + QStringLiteral("/CMakeCache.txt"));
    if (!cache.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QRegularExpression entry(QStringLiteral("^%1:[A-Z]+=(.*)$").arg(QRegularExpression::escape(name)));
    while (!cache.atEnd()) {
        const QRegularExpressionMatch m = entry.match(QString::fromUtf8(cache.readLine()).trimmed());
        if (m.hasMatch())
            return m.captured(1);
    }
    return {};
}

// "Key=value" of the [Desktop Entry] group.
QString desktopValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return {};
}

// The texts of every element named `name`, with `attribute`'s value when asked.
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
        const QString cmake = cacheValue(QStringLiteral("CMAKE_COMMAND"));
        s_install = run(cmake.isEmpty() ? QStringLiteral("cmake") : cmake,
                        {QStringLiteral("--install"), BuildDir, QStringLiteral("--prefix"), s_prefix->path()});
    }
    static void TearDownTestSuite() { s_prefix.reset(); }

    void SetUp() override
    {
        ASSERT_TRUE(s_prefix->isValid());
        ASSERT_EQ(s_install.exitCode, 0) << s_install.err.toStdString();
    }

    static QString at(const QString &relative) { return QDir(s_prefix->path()).filePath(relative); }

    static std::unique_ptr<QTemporaryDir> s_prefix;
    static Output s_install;
};

std::unique_ptr<QTemporaryDir> Installed::s_prefix;
Output Installed::s_install;

}  // namespace

TEST_F(Installed, PutsEveryFileWhereTheDesktopLooks)
{
    QStringList expected = {"bin/orvanta-downloader",
                            "bin/orvanta-ddf",
                            DesktopFile,
                            MetainfoFile,
                            MimeFile,
                            "share/icons/hicolor/scalable/apps/orvanta-downloader.svg",
                            "share/man/man1/orvanta-downloader.1.gz",
                            "share/man/man1/orvanta-ddf.1.gz",
                            "share/doc/orvanta-downloader/copyright",
                            "share/doc/orvanta-downloader/changelog.gz"};
    for (int size : IconSizes)
        expected.append(QStringLiteral("share/icons/hicolor/%1x%1/apps/orvanta-downloader.png").arg(size));
    for (const QString &file : expected)
        EXPECT_TRUE(QFileInfo(at(file)).isFile()) << file.toStdString();
    for (const char *program : {"bin/orvanta-downloader", "bin/orvanta-ddf"})
        EXPECT_TRUE(QFileInfo(at(program)).isExecutable()) << program;
}

TEST_F(Installed, IconsAreDrawnAtTheSizeTheirFolderNames)
{
    for (int size : IconSizes) {
        SCOPED_TRACE(size);
        const QImage icon(at(QStringLiteral("share/icons/hicolor/%1x%1/apps/orvanta-downloader.png").arg(size)));
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel());
        // The arrow's shaft runs down the middle in the program's red; the corners stay clear.
        const QColor middle = icon.pixelColor(size / 2, size / 4);
        EXPECT_GT(middle.red(), 150);
        EXPECT_LT(middle.green(), 60);
        EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0);
    }
}

TEST_F(Installed, ValidatorsAcceptTheDesktopFiles)
{
    struct Check {
        QString program;
        QStringList arguments;
        bool quiet;  // nothing printed at all: warnings count too
    };
    const Check checks[] = {
        {"desktop-file-validate", {at(DesktopFile)}, true},
        {"appstreamcli", {"validate", "--no-net", "--pedantic", at(MetainfoFile)}, false},
        {"xmllint", {"--noout", at(MetainfoFile)}, true},
        {"xmllint", {"--noout", at(MimeFile)}, true},
    };
    for (const Check &c : checks) {
        SCOPED_TRACE((c.program + ' ' + c.arguments.join(' ')).toStdString());
        const Output result = run(c.program, c.arguments);
        EXPECT_EQ(result.exitCode, 0) << (result.out + result.err).toStdString();
        if (c.quiet) {
            EXPECT_EQ(result.out + result.err, QString());
        }
    }
}

TEST_F(Installed, TheDescriptorTypeIsKnownByNameInAnyLetterCase)
{
    const QString mimeDir = at("share/mime");
    const Output update = run("update-mime-database", {mimeDir});
    ASSERT_EQ(update.exitCode, 0) << update.err.toStdString();
    QFile globs(mimeDir + "/globs2");
    ASSERT_TRUE(globs.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(globs.readAll()).split('\n', Qt::SkipEmptyParts);
    // weight:type:pattern, then ":cs" for a case-sensitive glob.
    const QStringList ours = lines.filter(":application/x-orvanta-ddf:");
    ASSERT_FALSE(ours.isEmpty()) << lines.join('\n').toStdString();
    for (const QString &line : ours)
        EXPECT_EQ(line.section(':', 2).toStdString(), "*.ddf");
    EXPECT_TRUE(QFileInfo(mimeDir + "/application/x-orvanta-ddf.xml").isFile());
}

TEST_F(Installed, TheFilesAgreeWithEachOther)
{
    const QStringList types = xmlTexts(at(MimeFile), "mime-type", "type");
    ASSERT_EQ(types.size(), 1);
    // The menu entry opens the descriptor type and nothing else: web links stay with the browser.
    EXPECT_EQ(desktopValue(at(DesktopFile), "MimeType").toStdString(), (types.first() + ';').toStdString());
    EXPECT_EQ(xmlTexts(at(MetainfoFile), "mediatype"), types);

    const QString icon = desktopValue(at(DesktopFile), "Icon");
    EXPECT_TRUE(QFileInfo(at("share/icons/hicolor/scalable/apps/" + icon + ".svg")).isFile()) << icon.toStdString();
    EXPECT_EQ(xmlTexts(at(MimeFile), "icon", "name"), QStringList(icon));
    EXPECT_EQ(xmlTexts(at(MetainfoFile), "icon"), QStringList(icon));

    // The menu runs the installed program, handing over one URL or file.
    const QStringList exec = desktopValue(at(DesktopFile), "Exec").split(' ');
    EXPECT_EQ(exec, QStringList({"orvanta-downloader", "%u"}));
    EXPECT_EQ(desktopValue(at(DesktopFile), "TryExec"), exec.first());
    EXPECT_TRUE(QFileInfo(at("bin/" + exec.first())).isExecutable());

    EXPECT_EQ(xmlTexts(at(MetainfoFile), "launchable"), QStringList(QFileInfo(DesktopFile).fileName()));
    for (const QString &binary : xmlTexts(at(MetainfoFile), "binary"))
        EXPECT_TRUE(QFileInfo(at("bin/" + binary)).isExecutable()) << binary.toStdString();

    // The screenshot the software centre shows is one the project keeps.
    const QString sourceDir = cacheValue("CMAKE_HOME_DIRECTORY");
    const QStringList images = xmlTexts(at(MetainfoFile), "image");
    ASSERT_FALSE(images.isEmpty());
    for (const QString &image : images) {
        EXPECT_TRUE(image.startsWith("https://")) << image.toStdString();
        const QString kept = sourceDir + "/docs/screenshots/" + image.section('/', -1);
        EXPECT_TRUE(QFileInfo(kept).isFile()) << kept.toStdString();
    }
}

TEST_F(Installed, ManualPagesRenderCleanlyAndNameEveryOption)
{
    const struct {
        const char *program;
        const char *page;
    } pages[] = {
        {"bin/orvanta-downloader", "share/man/man1/orvanta-downloader.1.gz"},
        {"bin/orvanta-ddf", "share/man/man1/orvanta-ddf.1.gz"},
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("MANWIDTH", "80");
    env.remove("DISPLAY");
    for (const auto &p : pages) {
        SCOPED_TRACE(p.page);
        const Output page = run("man", {"--warnings", "-E", "ascii", "-l", at(p.page)}, env);
        EXPECT_EQ(page.exitCode, 0);
        EXPECT_EQ(page.err, QString());
        EXPECT_TRUE(page.out.contains("Orvanta Downloader " + cacheValue("CMAKE_PROJECT_VERSION")))
            << page.out.right(200).toStdString();
        // Every long option the program's help names is in its page.
        const Output help = run(at(p.program), {"--help"}, env);
        ASSERT_EQ(help.exitCode, 0);
        const QRegularExpression option("--[a-z][a-z-]+");
        int options = 0;
        for (auto it = option.globalMatch(help.out); it.hasNext(); ++options) {
            const QString name = it.next().captured(0);
            EXPECT_TRUE(page.out.contains(name)) << name.toStdString();
        }
        EXPECT_GT(options, 0);
    }
}
