#include "AppHarness.h"

#include <descriptor/DescriptorBytes.h>

#include <gtest/gtest.h>

#include <QFileInfo>

#include <cmath>
#include <functional>

using Answer = Dialogs::Answer;

// Every way a load ends: refused with a message that says why, cancelled,
// or a job; and what becomes of an existing output file.
TEST(DescriptorLoader, OutcomeTable)
{
    struct Case {
        const char *name;
        const char *descriptor = "d.ddf";
        std::function<void(DescriptorHeader &)> edit = [](DescriptorHeader &) {};
        qsizetype cut = -1;              // the descriptor file cut to this many bytes
        const char *saveAs = "out.bin";  // nullptr: the save dialog is cancelled
        int existing = -1;               // size of an out.bin already there; the descriptor says 10000
        Answer longer = Answer::Ok;      // the answer to "larger than the file"
        bool loads = false;
        int messages = 1;
        QString last = "We have collected the following information:\r\n\r\n";  // a piece of the last message
        bool outOnDisk = false;
        QString stored = "f.bin", offered = "f.bin";  // the descriptor's file name; the name the save dialog offers
    };
    const QString refused = "This descriptor cannot be used. ", earlier = "The DDF file you are selecting is for an earlier version",
                  longer = "You are trying to write to a file that already exists and is larger";
    const Case cases[] = {
        {.name = "missing path", .descriptor = "missing.ddf", .last = "The descriptor file "},
        {.name = "a folder", .descriptor = "folder.ddf", .last = "folder.ddf is a folder, not a descriptor file"},
        {.name = "unreadable", .descriptor = "/proc/self/mem", .last = "Error "},  // a file whose reads all fail
        {.name = "empty", .cut = 0, .last = refused + "The descriptor file is empty."},
        {.name = "version 1.04", .edit = [](auto &r) { r.version = 1.04f; }, .loads = true},
        {.name = "version just below 1.04", .edit = [](auto &r) { r.version = std::nextafter(1.04f, 0.0f); }, .last = earlier},
        {.name = "a lone server as Name|URL", .edit = [](auto &r) { r.servers[0] = "Main|http://127.0.0.1:1/f.bin"; },
         .loads = true},
        {.name = "save cancelled", .saveAs = nullptr},
        // A name from the descriptor never steers where the file goes.
        {.name = "../../x.bin", .saveAs = nullptr, .stored = "../../x.bin", .offered = "x.bin"},
        {.name = "SETUP.DDF", .saveAs = "SETUP.DDF", .messages = 2,
         .last = "Please do not save to a *.ddf file. Please save to the default name"},
        {.name = "x.ddf.part", .saveAs = "x.ddf.part", .loads = true},
        {.name = "longer, Cancel keeps it", .existing = 10001, .longer = Answer::Cancel, .messages = 2, .last = longer, .outOnDisk = true},
        {.name = "longer, OK deletes it", .existing = 10001, .loads = true, .messages = 2, .last = longer},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AppHarness h;
        DescriptorHeader r = sampleRecord();
        c.edit(r);
        r.fileName = c.stored;
        QFile ddf(h.writeDescriptor("d.ddf", r));
        QDir(h.dir.path()).mkdir("folder.ddf");
        if (c.cut >= 0)
            ddf.resize(c.cut);
        if (c.existing >= 0)
            h.writeFile("out.bin", QByteArray(c.existing, 'z'));
        c.saveAs ? h.dialogs.chooseFile(h.path(c.saveAs)) : h.dialogs.cancelFile();
        h.dialogs.messageAnswers = {Answer::Ok, c.longer};
        EXPECT_EQ(h.controller.loader().prepare(h.path(c.descriptor)).has_value(), c.loads);
        const QStringList &shown = h.dialogs.messages;
        EXPECT_EQ(shown.size(), c.messages) << shown.join('\n').toStdString();
        EXPECT_TRUE(shown.value(shown.size() - 1).contains(c.last)) << shown.join('\n').toStdString();
        EXPECT_EQ(QFileInfo::exists(h.path("out.bin")), c.outOnDisk);
        if (c.loads || !c.saveAs) {
            EXPECT_EQ(h.dialogs.fileQuestions.at(0).fileName, c.offered);
        }
    }
}

// A trailer changes nothing but the hashes and the size: every version rule
// gives the same messages and job with one as without; a file past 4 GiB is described by the trailer alone.
TEST(DescriptorLoader, TrailersChangeNothingButTheHashesAndTheSize)
{
    using namespace descriptortest;
    const qint64 fiveGiB = 5368709120;
    const auto trailerFor = [](qint64 size) {
        return trailerFromHashes(quint64(size), 1048576, QByteArray(32 * chunkCount(size, 1048576), 'c'), QByteArray(32, 'w'));
    };
    // Loads `r`'s descriptor (a size of -1: one of 5 GiB) followed by `trailer`.
    const auto load = [&](const DescriptorHeader &r, bool trailer) {
        AppHarness h;
        const qint64 size = r.fileSize < 0 ? fiveGiB : r.fileSize;
        h.writeFile("d.ddf", r.toBytes().value() + QByteArray(4 * blockCount(size), '\0') + (trailer ? trailerFor(size) : QByteArray()));
        h.dialogs.chooseFile(h.path("out.bin"));
        const std::optional<DownloadJob> job = h.controller.loader().prepare(h.path("d.ddf"));
        return std::pair(job, h.dialogs.messages);
    };
    for (const float version : {std::nextafter(1.04f, 0.0f), 1.04f, 1.1f, 1.2f, 2.0f}) {
        DescriptorHeader r = sampleRecord();
        r.version = version;
        const auto [plain, plainShown] = load(r, false);
        const auto [extended, extendedShown] = load(r, true);
        SCOPED_TRACE(QStringLiteral("version %1").arg(double(version)).toStdString());
        EXPECT_EQ(extendedShown, plainShown);
        ASSERT_EQ(plain.has_value(), versionAccepted(version));
        ASSERT_EQ(extended.has_value(), plain.has_value());
        if (plain) {
            EXPECT_TRUE(!plain->strongHashes && extended->strongHashes);
            EXPECT_EQ(std::pair(extended->sourceUrl, extended->expectedSize()), std::pair(plain->sourceUrl, plain->expectedSize()));
        }
    }
    DescriptorHeader large = sampleRecord();
    large.fileSize = -1;
    const auto [job, shown] = load(large, true);
    ASSERT_TRUE(job.has_value()) << shown.join('\n').toStdString();
    EXPECT_EQ(job->expectedSize(), fiveGiB);
    EXPECT_TRUE(shown.value(0).contains("File Size: 5.0 GB")) << shown.join('\n').toStdString();
}
