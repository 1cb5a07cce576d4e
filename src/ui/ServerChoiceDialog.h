#pragma once

#include "ModalWindow.h"

#include <QStringList>

#include <optional>

class QCheckBox;
class QComboBox;

// Lets the user pick one of a descriptor's servers from a pick-only list
// and confirm with OK; there is no cancel button, only the close box.
class ServerChoiceDialog : public ModalWindow {
    Q_OBJECT
public:
    explicit ServerChoiceDialog(QWidget *parent = nullptr);

    // Fills the list and selects `selected` (the first row when out of range).
    void setServers(const QStringList &names, int selected);
    // The row confirmed with OK at the last display; nullopt when the
    // window was closed otherwise.
    std::optional<int> chosenRow() const { return m_chosenRow; }
    // The box "Use all servers at once".
    void setUseAllServers(bool on);
    bool useAllServers() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QComboBox *m_serverList = nullptr;
    QCheckBox *m_allServers = nullptr;
    std::optional<int> m_chosenRow;
};
