#pragma once

#include <QString>

#include <chrono>
#include <cstdio>

// What the progress line of `orvanta-ddf get` shows.
struct ProgressFigures {
    qint64 position = 0;
    qint64 total = 0;
    bool sizeKnown = true;
    double rate = 0;      // bytes per second
    double timeLeft = 0;  // seconds
    int serversInUse = 1;
};

// One line on a terminal, redrawn in place ("\r", the text, erase to the end
// of the line), with the log's lines printed above it. On anything that is
// not a terminal it draws nothing and the log's lines are printed as they
// are. Redraws are spaced by at least `interval` unless the figures reach
// their end.
class DownloadProgressLine {
public:
    DownloadProgressLine(std::FILE *stream, bool terminal,
                         std::chrono::milliseconds interval = std::chrono::milliseconds(250));
    ~DownloadProgressLine();

    bool isTerminal() const { return m_terminal; }

    // An input of its own: the engine says how many servers it fetches from.
    void setServersInUse(int count);
    void showTransfer(qint64 position, qint64 total, bool sizeKnown, double rate, double timeLeft);
    void showCheck(qint64 value, qint64 max);
    // Prints `line` on a line of its own; on a terminal the progress line is
    // drawn again below it.
    void printLine(const QString &line);
    // Takes the progress line off the terminal (nothing is redrawn until
    // the next figures).
    void clear();
    // Leaves the progress line as it stands, on a line of its own.
    void finish();

    // The texts, cut to `width` characters (0: not cut).
    static QString transferText(const ProgressFigures &figures, int width = 0);
    static QString checkText(qint64 value, qint64 max, int width = 0);

private:
    void draw(bool force);
    void leave(const char *ending);
    int width() const;

    std::FILE *m_stream;
    bool m_terminal;
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_lastDraw;
    ProgressFigures m_figures;
    bool m_checking = false;
    qint64 m_checkValue = 0;
    qint64 m_checkMax = 0;
    bool m_hasFigures = false;
    bool m_shown = false;
};
