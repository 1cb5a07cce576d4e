#pragma once

#include <QString>

// Builds each of the four windows with sample content, shows it and saves
// its client area as <dir>/<objectName>.png. Returns false when a file
// could not be written.
bool writeScreenshots(const QString &dir);
