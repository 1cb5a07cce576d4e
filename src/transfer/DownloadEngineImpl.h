#pragma once

#include "BlockWriter.h"
#include "DownloadEngine.h"

#include <descriptor/CrcListReader.h>

#include <QString>

// Private state shared by the engine's source files.
struct DownloadEngine::Impl {
    BlockWriter writer;  // the destination while an attempt writes it
    CrcListReader crcList;     // the descriptor's checksum list while an attempt reads it
};

// State of one call of DownloadFile / DownloadFileFromURL.
struct DownloadEngine::Attempt {
    Mode mode = Mode::URL;
    QString url;
    QString destination;
    QString destinationName;
    bool Resuming = false;
    qint64 Position = 0;
    qint64 StartPosition = 0;
    qint64 TotalSize = 0;
    bool sizeKnown = true;  // false while a body of unannounced size streams in
    double StartTime = 0;
    double Rate = 0;
    double TimeLeft = 0;
    QString LastMessage;

    bool descriptor() const { return mode == Mode::Descriptor; }
};

namespace engine_text {
inline constexpr int RepairLimit = 20;
inline constexpr qint64 CrcStart = 3083;
}
