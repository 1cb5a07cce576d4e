#include "StartDialog.h"

#include <transfer/DownloadEngine.h>
#include <ui/cFileDialog.h>

void showStartDialog(DownloadEngine &engine, cFileDialog &dialog, bool save)
{
    const bool retryWasArmed = engine.RetryPending;
    engine.cancelPendingRestart();
    if (save)
        dialog.ShowSave();
    else
        dialog.ShowOpen();
    if (dialog.Cancel() && retryWasArmed)
        engine.rearmRetry();
}
