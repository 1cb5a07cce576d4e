#include "ProcessExit.h"

#include <cstdio>
#include <cstdlib>

void RealProcessExit::endProgram(int code)
{
    if (beforeExit)
        beforeExit();
    runFlushes();
    std::fflush(nullptr);
    std::_Exit(code);
}
