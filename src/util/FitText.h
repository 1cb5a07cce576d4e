#pragma once

#include <QString>

#include <functional>

// Shortens `text` in the middle with "..." until `measure(text)` fits
// `width`: n = length/2 - 2, then while too wide and n > 3 keep the first
// and last n characters around "...", n decreasing by one per step.
QString FitTextToControl(const QString &text, int width, const std::function<int(const QString &)> &measure);
