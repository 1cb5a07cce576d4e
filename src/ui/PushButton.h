#pragma once

#include <QPushButton>

// A push button that Enter and Return click while it has the focus, like
// Space; it is never a default button, so Enter elsewhere does nothing.
class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(const QString &text, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
