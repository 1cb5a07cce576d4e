#include "ProcessExit.h"

#include <QCoreApplication>

void EventLoopExit::endProgram(int code)
{
    runFlushes();
    QCoreApplication::exit(code);
}
