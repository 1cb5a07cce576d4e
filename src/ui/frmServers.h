#pragma once

#include "ModalWindow.h"

#include <QStringList>

class QComboBox;

// The server window: the descriptor's server names in a pick-only list and
// an OK button; there is no cancel button, only the close box.
class frmServers : public ModalWindow {
    Q_OBJECT
public:
    explicit frmServers(QWidget *parent = nullptr);

    // Fills cmbServers and selects `selected` (the first row when out of range).
    void setServers(const QStringList &names, int selected);
    QComboBox *cmbServers() const { return m_cmbServers; }
    // True once OK closed the window.
    bool okClicked() const { return m_okClicked; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QComboBox *m_cmbServers = nullptr;
    bool m_okClicked = false;
};
