// Existing-file verification and the choice of the resume offset in
// descriptor mode.
#include "DownloadEngine.h"

#include "DownloadEngineImpl.h"
#include "HttpControl.h"

#include <util/ActivityLog.h>
#include <util/Dialogs.h>
#include <util/Paths.h>
#include <util/ProcessExit.h>

#include <descriptor/BlockScan.h>

#include <QElapsedTimer>
#include <QFileInfo>

using namespace engine_text;
using Label = MainWindowModel::Label;

qint64 DownloadEngine::VerifyExistingFile(const QString &dataPath, const QString &ddfPath, qint64 crcStart)
{
    // The list always follows the fixed-size header; every caller passes
    // that position.
    Q_UNUSED(crcStart);
    flushPendingWrites();
    if (!regularFileExists(dataPath)) {
        m_dialogs.messageBox(QStringLiteral("Source file is missing!"), Dialogs::Buttons::Ok);
        return 0;
    }
    if (!regularFileExists(ddfPath)) {
        m_dialogs.messageBox(QStringLiteral("Orvanta Downloader file is missing!"), Dialogs::Buttons::Ok);
        m_exit.endProgram();
        return 0;
    }

    m_view.setProgressValue(0);
    m_view.setProgressMax(ExpectedSize);
    const QString verifying = QStringLiteral("Verifying file integrity...");
    m_view.setText(Label::Status, verifying);
    m_log.add(verifying);
    m_view.setCaption(verifying);
    m_inet.processEvents(false);
    m_view.setText(Label::Time, QString());
    m_view.setText(Label::Rate, QString());
    m_view.setText(Label::To, QString());
    m_view.setCancelEnabled(false);

    // Events run often enough to keep the window alive, not once per block:
    // a cached file is checked far faster than the window can redraw.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const qint64 expected = ExpectedSize;
    const BlockScanResult scan = scanBlocks(dataPath, ddfPath, DDF.version, [&](qint64 p) {
        m_view.setProgressValue(p <= expected ? p : 0);
        if (sinceEvents.elapsed() >= 20) {
            m_inet.processEvents(false);
            sinceEvents.restart();
        }
    });

    qint64 result = scan.goodLength;
    if (scan.error) {
        // Unreadable: nothing past the good part can be trusted.
        m_log.add(*scan.error);
    }
    if (scan.mismatch) {
        if (CRCErrorCount >= RepairLimit) {
            m_log.add(QStringLiteral("Too many CRC errors in current file. Will download remainder..."));
        } else {
            RepairMode = true;
            m_log.add(QStringLiteral("CRC error in current file. Will attempt to repair..."));
        }
    }
    StopTransfer = false;
    closeAllFiles();
    return result;
}

bool DownloadEngine::chooseResumeOffset(Attempt &a)
{
    const auto currentLength = [&] {
        flushPendingWrites();
        return regularFileExists(a.destination) ? QFileInfo(a.destination).size() : qint64(0);
    };

    // A repair that did not finish (paused, or its block failed in flight)
    // leaves a bad block inside the file: its length proves nothing then.
    qint64 VerifiedLength;
    if (!FileVerified || RepairMode) {
        VerifiedLength = VerifyExistingFile(a.destination, DescriptorPath, CrcStart);
        if (a.Position == VerifiedLength)
            FileVerified = true;
    } else {
        VerifiedLength = currentLength();
    }
    if (RepairMode)
        a.Position = VerifiedLength;
    if (currentLength() == ExpectedSize && CRCErrorCount > 0 && !RepairMode) {
        m_log.add(QStringLiteral("Full data verification check due to previous file repairs..."));
        a.Position = VerifyExistingFile(a.destination, DescriptorPath, CrcStart);
        // The full check is the newer word on where the good data ends.
        VerifiedLength = a.Position;
    }
    if (a.Position != VerifiedLength) {
        a.Position = VerifiedLength;
    } else if (a.Position == ExpectedSize) {
        const QString complete = QStringLiteral("File complete and verified!");
        m_view.setText(Label::Status, complete);
        m_view.setCaption(complete);
        m_view.setCancelCaption(QStringLiteral("Exit"));
        m_view.setCancelEnabled(true);
        m_view.setCommand1Enabled(false);
        m_log.add(QStringLiteral("Your file has been verified, and is ready for use!"));
        return false;
    }
    return true;
}
