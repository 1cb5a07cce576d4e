#pragma once

#include "HttpClient.h"

#include <QString>

// Pins a partial file to the version of the remote file it holds the start
// of, so that a resume never appends the bytes of another version.
//
// The validator is kept on the partial file itself, as the extended
// attribute user.orvanta.validator, not in a sidecar file: it moves, is
// copied and is deleted together with the bytes it describes, so it can
// never pin a file it was not taken for. A filesystem without user
// attributes keeps none, and such a file resumes unpinned.

// The strong ETag of `head`, else its Last-Modified; empty when it has
// neither (a weak ETag does not promise the same bytes).
QString resumeValidator(const HttpResponse &head);

// The validator kept with the file at `path`; empty when none.
QString storedValidator(const QString &path);
// Keeps `validator` with the file (an empty one removes it). Returns 0, or
// the errno of a refusal; a filesystem without user attributes is no
// refusal (0).
int storeValidator(const QString &path, const QString &validator);
