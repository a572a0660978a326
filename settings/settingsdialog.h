// The settings dialog: server address, user name and password for the scanner.
#pragma once

#include "scanner/modgeneral.h"

#include <QDialog>

class QLineEdit;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(const modGeneral::StoredSettings& current, QWidget* parent = nullptr);

    modGeneral::StoredSettings settings() const;

private:
    void updateOkButton();

    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_pass;
    class QPushButton* m_ok;
};
