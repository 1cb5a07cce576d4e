#pragma once

#include "DescriptorHeader.h"

#include <QString>

// What makes a descriptor unusable, worst first.
enum class DescriptorFault {
    None,
    Empty,          // a file of no bytes
    Truncated,      // shorter than a header
    DamagedVersion, // a version field that holds no plausible version
    OldVersion,     // format version below 1.04
    TrailerCut,       // the record of strong hashes ends early
    TrailerDamaged,   // that record fails its own checksum or holds impossible values
    TrailerDisagrees, // that record describes another file than the header
    SizeBelowOne,   // a file size of 0 or less
    NoServers,      // no server entry before the first empty one
    ServerNotHttp,  // a server whose URL is not http:// or https:// with a host
    CrcListShort,   // fewer CRC entries than the file size has blocks
};

struct DescriptorCheck {
    DescriptorFault fault = DescriptorFault::None;
    // One sentence for the user saying what is wrong; empty when nothing is.
    QString reason;

    bool usable() const { return fault == DescriptorFault::None; }
};

// Judges a loaded header and the length in bytes of the file it came from:
// whether a download can start from it, and if not, the first fault found in
// the order of DescriptorFault. The caller decides what to show for
// OldVersion; the other reasons are meant for the user as they stand.
DescriptorCheck checkDescriptor(const DescriptorHeader &header, qint64 descriptorLength);

struct TrailerRead;
// The same for a descriptor whose trailer (DescriptorTrailer.h) was read:
// a faulty trailer refuses it, and a good one gives the file's size.
DescriptorCheck checkDescriptor(const DescriptorHeader &header, qint64 descriptorLength, const TrailerRead &trailer);
