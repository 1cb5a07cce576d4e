#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and the like into a Qt signal on the event loop's
// thread: the handler only writes the signal's number into a pipe, and a
// QSocketNotifier on the pipe's other end emits received(). One relay per
// process; the signals it watched get their default action back when it is
// destroyed.
class SignalRelay : public QObject {
    Q_OBJECT
public:
    explicit SignalRelay(std::initializer_list<int> watched, QObject *parent = nullptr);
    ~SignalRelay() override;

    // False when the pipe or a handler could not be set up (the signals then
    // keep their default action).
    bool isWatching() const { return m_notifier != nullptr; }

signals:
    void received(int signal);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
    std::vector<int> m_signals;
};
