#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

// Runs `action` on the modal window once a modal exec() has shown it; a
// window still open after five seconds is closed with a test failure, so
// a broken test never hangs.
inline void whenModal(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer;
    auto started = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, started, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            poll->deleteLater();
            action(modal);
            return;
        }
        if (++*started > 500) {
            poll->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    poll->start(10);
}

// Guards one exec(): closes a window left open by a failing test.
struct ModalGuard {
    QTimer timer;
    ModalGuard()
    {
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "modal window left open: " << modal->windowTitle().toStdString();
                modal->close();
            }
        });
        timer.start(5000);
    }
};
