#include "AppHarness.h"

#include <app/DescriptorLoader.h>
#include <util/Format.h>
#include <util/Paths.h>

#include <gtest/gtest.h>

#include <QFileInfo>

#include <cmath>
#include <unistd.h>

using Kind = ScriptedDialogs::Asked::Kind;

namespace {
const QString kLonger = QStringLiteral(
    "You are trying to write to a file that already exists and is larger than the file you are downloading. We "
    "will have to delete the selected file and start over again. Select OK to continue, or Cancel to cancel this "
    "action.");
const QString kNoDdf =
    QStringLiteral("Please do not save to a *.ddf file. Please save to the default name presented if possible.");
} // namespace

TEST(DescriptorLoader, VersionBoundary)
{
    struct Case {
        float version;
        bool accepted;
    };
    for (const Case c : {Case{1.04f, true}, Case{std::nextafter(1.04f, 0.0f), false}, Case{1.1f, true},
                         Case{1.03f, false}, Case{0.0f, false}}) {
        SCOPED_TRACE(c.version);
        AppHarness h;
        DDFRecord r = sampleRecord();
        r.Version = c.version;
        const QString ddf = writeDescriptor(h.path("v.ddf"), r);
        h.dialogs.chooseFile(h.path("out.bin"));
        EXPECT_EQ(h.controller.LoadDDF(ddf), c.accepted);
        ASSERT_FALSE(h.dialogs.messages().isEmpty());
        if (c.accepted) {
            EXPECT_TRUE(h.dialogs.messages()[0].startsWith("We have collected"));
        } else {
            EXPECT_EQ(h.dialogs.messages(), QStringList{DescriptorLoader::earlierVersionMessage()});
            EXPECT_TRUE(h.dialogs.messages()[0].contains("Please check with the Orvanta web site for the correct"));
            EXPECT_EQ(h.engine.DestinationPath, "");
            EXPECT_FLOAT_EQ(h.engine.DDF.Version, c.version);  // the record is replaced before the check
            h.dialogs.fileAnswers.clear();
        }
        EXPECT_EQ(h.dialogs.asked.front().title, "Orvanta Downloader");
    }
}

TEST(DescriptorLoader, SummaryLabelAndDialogUseTrimmedTexts)
{
    AppHarness h;
    DDFRecord r = sampleRecord();
    r.FileName = QStringLiteral("setup.exe") + QString(247, ' ');
    r.Information = QString(256, ' ');
    r.FileSize = 5 * 1024 * 1024;
    const QString ddf = writeDescriptor(h.path("s.ddf"), r);
    const QString out = h.path("setup.exe");
    h.dialogs.chooseFile(out);

    ASSERT_TRUE(h.controller.LoadDDF(ddf));
    const QString size = FormatByteSize(r.FileSize);
    ASSERT_FALSE(size.isEmpty());
    EXPECT_EQ(h.dialogs.messages(),
              QStringList{"We have collected the following information:\r\n\r\nFile Name: setup.exe\r\nFile Size: " +
                          size +
                          "\r\nInformation: \r\n\r\nPlease select an output file in the next screen. You can select "
                          "a file that is partially downloaded if you need to resume the download, or a fully "
                          "downloaded file that you would like to validate or repair."});
    ASSERT_EQ(h.count(Kind::File), 1);
    const auto &request = h.dialogs.asked[1].file;
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "Select a Save Location...");
    EXPECT_EQ(request.fileName, "setup.exe");
    EXPECT_EQ(request.filter, "All File Types (*.*)|*.*");
    EXPECT_EQ(h.model.text(MainWindowModel::Label::Info),
              "File Name: setup.exe\r\nFile Size: " + size + "\r\nInformation: ");
    EXPECT_EQ(h.engine.DestinationPath, out);
    EXPECT_EQ(h.engine.ExpectedSize, r.FileSize);
}

TEST(DescriptorLoader, CancelledSaveKeepsTheDescriptorValues)
{
    AppHarness h;
    DDFRecord r = sampleRecord({"  http://127.0.0.1:1/a.bin  ", "http://127.0.0.1:1/b.bin"});
    r.StartParam = -1;
    r.FileSize = 123456;
    const QString ddf = writeDescriptor(h.path("c.ddf"), r);
    h.dialogs.cancelFile();

    EXPECT_FALSE(h.controller.LoadDDF(ddf));
    EXPECT_EQ(h.engine.ExpectedSize, 123456);
    EXPECT_EQ(h.engine.SourceURL, "http://127.0.0.1:1/a.bin");
    EXPECT_TRUE(h.engine.UseStartParam);
    EXPECT_EQ(h.engine.DDF.FileSize, 123456);
    EXPECT_EQ(trimSpaces(h.engine.DDF.FileName), "f.bin");
    EXPECT_EQ(h.engine.DestinationPath, "f.bin");
    EXPECT_EQ(h.dialogs.messages().size(), 1);
}

TEST(DescriptorLoader, DdfDestinationRefusedInAnyCase)
{
    struct Case {
        const char *name;
        bool refused;
    };
    for (const Case c : {Case{"SETUP.DDF", true}, Case{"x.ddf", true}, Case{"x.DdF", true}, Case{"ddf", true},
                         Case{"x.ddf.part", false}, Case{"dd", false}, Case{"notddfx", false}}) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        const QString ddf = writeDescriptor(h.path("d.ddf"), sampleRecord());
        h.dialogs.chooseFile(h.path(c.name));
        EXPECT_EQ(h.controller.LoadDDF(ddf), !c.refused);
        EXPECT_EQ(h.dialogs.messages().contains(kNoDdf), c.refused);
    }
}

TEST(DescriptorLoader, ExistingDestinationLongerThanTheFile)
{
    struct Case {
        qint64 size;
        std::optional<Dialogs::Answer> answer;  // nullopt: no prompt expected
        bool result;
        bool kept;
    };
    for (const Case c : {Case{10000, std::nullopt, true, true}, Case{9000, std::nullopt, true, true},
                         Case{10001, Dialogs::Answer::Cancel, false, true},
                         Case{10001, Dialogs::Answer::Ok, true, false}}) {
        SCOPED_TRACE(c.size);
        AppHarness h;
        const QString ddf = writeDescriptor(h.path("d.ddf"), sampleRecord());
        const QString out = h.writeFile("out.bin", QByteArray(int(c.size), 'z'));
        h.dialogs.chooseFile(out);
        h.dialogs.messageAnswers = {Dialogs::Answer::Ok};  // the summary
        if (c.answer)
            h.dialogs.messageAnswers.push_back(*c.answer);

        EXPECT_EQ(h.controller.LoadDDF(ddf), c.result);
        EXPECT_EQ(h.dialogs.messages().contains(kLonger), c.answer.has_value());
        if (c.answer) {
            EXPECT_EQ(h.dialogs.asked.back().buttons, Dialogs::Buttons::OkCancel);
        }
        EXPECT_EQ(QFileInfo::exists(out), c.kept);
        EXPECT_EQ(h.engine.DestinationPath, out);
    }
}

TEST(DescriptorLoader, FailureTable)
{
    // No file at the path: false and nothing shown.
    {
        AppHarness h;
        EXPECT_FALSE(h.controller.LoadDDF(h.path("missing.ddf")));
        EXPECT_TRUE(h.dialogs.asked.empty());
        EXPECT_EQ(h.engine.DestinationPath, "");
    }
    // ServerIndex outside 0 to 9: "Error " and a description.
    {
        AppHarness h;
        const QString ddf = writeDescriptor(h.path("d.ddf"), sampleRecord());
        h.engine.ServerIndex = 10;
        EXPECT_FALSE(h.controller.LoadDDF(ddf));
        ASSERT_EQ(h.dialogs.messages().size(), 2);
        EXPECT_TRUE(h.dialogs.messages()[1].startsWith("Error "));
        EXPECT_GT(h.dialogs.messages()[1].size(), 6);
        EXPECT_EQ(h.count(Kind::File), 0);
    }
    // A header too short is read as zeros and refused by the version rule.
    {
        AppHarness h;
        const QString ddf = h.writeFile("short.ddf", QByteArray(100, '\0'));
        EXPECT_FALSE(h.controller.LoadDDF(ddf));
        EXPECT_EQ(h.dialogs.messages(), QStringList{DescriptorLoader::earlierVersionMessage()});
    }
}

TEST(DescriptorLoader, UnreadableDescriptorReportsTheSystemError)
{
    AppHarness h;
    QString ddf = writeDescriptor(h.path("locked.ddf"), sampleRecord());
    QFile::setPermissions(ddf, QFileDevice::Permissions());
    if (QFile(ddf).open(QIODevice::ReadOnly)) {
        // The super-user reads anything; a file that exists but fails every
        // read stands in for it.
        ddf = QStringLiteral("/proc/self/mem");
        if (!regularFileExists(ddf))
            GTEST_SKIP() << "no unreadable regular file available";
    }
    EXPECT_FALSE(h.controller.LoadDDF(ddf));
    ASSERT_EQ(h.dialogs.messages().size(), 1);
    EXPECT_TRUE(h.dialogs.messages()[0].startsWith("Error "));
    EXPECT_GT(h.dialogs.messages()[0].size(), 6);
    EXPECT_EQ(h.count(Kind::File), 0);
}

TEST(DescriptorLoader, UndeletableLongerDestinationReportsTheSystemError)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    AppHarness h;
    const QString ddf = writeDescriptor(h.path("d.ddf"), sampleRecord());
    QDir(h.dir.path()).mkdir("ro");
    const QString out = h.writeFile("ro/out.bin", QByteArray(20000, 'z'));
    QFile::setPermissions(h.path("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    h.dialogs.chooseFile(out);
    EXPECT_FALSE(h.controller.LoadDDF(ddf));
    EXPECT_TRUE(h.dialogs.messages().last().startsWith("Error "));
    EXPECT_TRUE(QFileInfo::exists(out));
    QFile::setPermissions(h.path("ro"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(DescriptorLoaderCommand, CancelledOpenLeavesDescriptorPathEmpty)
{
    AppHarness h;
    h.engine.DescriptorPath = "earlier.ddf";
    h.dialogs.cancelFile();
    h.controller.Command1_Click();
    ASSERT_EQ(h.count(Kind::File), 1);
    const auto &request = h.dialogs.asked[0].file;
    EXPECT_FALSE(request.save);
    EXPECT_EQ(request.title, "Select a Downloader Data File...");
    EXPECT_EQ(request.filter, "Downloader Data File (*.ddf)|*.ddf");
    EXPECT_EQ(request.fileName, "");
    EXPECT_EQ(h.engine.DescriptorPath, "");
    EXPECT_TRUE(h.http.executedURLs.empty());
}

TEST(DescriptorLoaderCommand, MissingDescriptorEndsWithoutMessage)
{
    AppHarness h;
    h.dialogs.chooseFile(h.path("gone.ddf"));
    h.controller.Command1_Click();
    EXPECT_EQ(h.engine.DescriptorPath, h.path("gone.ddf"));
    EXPECT_TRUE(h.dialogs.messages().isEmpty());
    EXPECT_TRUE(h.http.executedURLs.empty());
}

TEST(DescriptorLoaderCommand, LoadChooseServerAndStartVerifiedDownload)
{
    AppHarness h;
    const QString ddf = writeDescriptor(
        h.path("two.ddf"), sampleRecord({"Europe|http://127.0.0.1:1/eu.bin", "America|http://127.0.0.1:1/us.bin"}));
    h.engine.URLMode = true;
    h.dialogs.chooseFile(ddf);
    h.dialogs.chooseFile(h.path("out.bin"));
    h.dialogs.serverAnswers.push_back(1);
    h.controller.Command1_Click();

    EXPECT_EQ(h.engine.DescriptorPath, ddf);
    EXPECT_EQ(h.count(Kind::Servers), 1);
    EXPECT_FALSE(h.engine.URLMode);
    EXPECT_EQ(h.engine.SourceURL, "http://127.0.0.1:1/us.bin");
    ASSERT_EQ(h.http.executedURLs.size(), 1u);
    EXPECT_TRUE(h.http.executedURLs[0].startsWith("http://127.0.0.1:1/us.bin"));
}
