#pragma once

#include <functional>
#include <vector>

// Ends the program at once. Before the process goes, every registered
// flush runs, so that data already accepted for the disk reaches it.
// Tests install a replacement that records the request instead.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void endProgram(int code = 0) = 0;

    void addFlush(std::function<void()> flush) { m_flushes.push_back(std::move(flush)); }

protected:
    void runFlushes()
    {
        for (auto &flush : m_flushes)
            flush();
    }

private:
    std::vector<std::function<void()>> m_flushes;
};

// The real one: flushes, then leaves the process without unwinding the
// nested event loops that a running transfer sits in.
class RealProcessExit : public ProcessExit {
public:
    void endProgram(int code = 0) override;
    // Runs before the flushes, e.g. to take the tray icon down.
    std::function<void()> beforeExit;
};
