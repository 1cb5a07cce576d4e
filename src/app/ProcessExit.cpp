#include "ProcessExit.h"

#include <QCoreApplication>

void EventLoopExit::endProgram(int code)
{
    QCoreApplication::exit(code);
}
