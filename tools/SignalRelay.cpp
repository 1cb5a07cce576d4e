#include "SignalRelay.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int relayPipe[2] = {-1, -1};

// Async-signal-safe: one write(2), errno kept for the code it interrupted.
extern "C" void relaySignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(relayPipe[1], &number, 1);
    errno = saved;
}

bool openPipe()
{
    if (::pipe2(relayPipe, O_CLOEXEC | O_NONBLOCK) == 0)
        return true;
    relayPipe[0] = relayPipe[1] = -1;
    return false;
}

void closePipe()
{
    for (int &end : relayPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

} // namespace

SignalRelay::SignalRelay(std::initializer_list<int> watched, QObject *parent) : QObject(parent), m_signals(watched)
{
    if (relayPipe[0] >= 0 || !openPipe())
        return;
    struct sigaction action = {};
    action.sa_handler = relaySignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : m_signals) {
        if (::sigaction(signal, &action, nullptr) != 0) {
            closePipe();
            return;
        }
    }
    m_notifier = new QSocketNotifier(relayPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalRelay::drain);
}

SignalRelay::~SignalRelay()
{
    if (!m_notifier)
        return;
    for (const int signal : m_signals)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    closePipe();
}

void SignalRelay::drain()
{
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(relayPipe[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(numbers[i]);
    }
}
