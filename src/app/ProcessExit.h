#pragma once

// Ends the program. Tests install a replacement that records the request
// instead.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void endProgram(int code = 0) = 0;
};

// The real one: asks the event loop to return, so that the program ends
// through the normal unwinding of main().
class EventLoopExit : public ProcessExit {
public:
    void endProgram(int code = 0) override;
};
