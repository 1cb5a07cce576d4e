#pragma once

class FileRequest;
class DownloadEngine;

// Shows the file dialog of a start command (save when `save`, else open).
// A retry armed for the previous download is set aside meanwhile: it must
// not fire inside the dialog against values the command is replacing. When
// the user cancels nothing has been replaced, so it is armed again.
void showStartDialog(DownloadEngine &engine, FileRequest &dialog, bool save);
