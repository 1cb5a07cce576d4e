#include "StartDialog.h"

#include <transfer/DownloadEngine.h>
#include <app/FileRequest.h>

void showStartDialog(DownloadEngine &engine, FileRequest &dialog, bool save)
{
    const bool retryWasArmed = engine.RetryPending;
    engine.cancelPendingRestart();
    if (save)
        dialog.showSave();
    else
        dialog.showOpen();
    if (dialog.cancelled() && retryWasArmed)
        engine.rearmRetry();
}
