// The settings dialog: server address, user name and password for the scanner, and how the
// connection is secured.
#pragma once

#include "scanner/modgeneral.h"

#include <QDialog>

class QComboBox;
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
    QComboBox* m_security;
    QLineEdit* m_caFile;
    class QPushButton* m_ok;
};
