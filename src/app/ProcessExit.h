#pragma once

#include <functional>
#include <vector>

// Ends the program. Every registered flush runs first, so that data already
// accepted for the disk reaches it. Tests install a replacement that
// records the request instead.
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

// The real one: flushes, then asks the event loop to return, so that the
// program ends through the normal unwinding of main().
class EventLoopExit : public ProcessExit {
public:
    void endProgram(int code = 0) override;
};
