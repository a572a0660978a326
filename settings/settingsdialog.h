// The settings dialog: server address, user name and password for the scanner, how the
// connection is secured, whether it saves round trips, and the checks it runs besides the
// definition check.
#pragma once

#include "scanner/modgeneral.h"

#include <QDialog>

class QComboBox;
class QCheckBox;
class QLineEdit;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // clamAvFolder: the database folder to offer for ClamAV, or empty when there is none; the
    // ClamAV box is shown only then, or when the store already names a folder.
    SettingsDialog(const modGeneral::StoredSettings& current,
                   const modGeneral::EngineSettings& engines, const QString& clamAvFolder,
                   QWidget* parent = nullptr);

    modGeneral::StoredSettings settings() const;
    modGeneral::EngineSettings engineSettings() const;

private:
    void updateOkButton();

    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_pass;
    QComboBox* m_security;
    QLineEdit* m_caFile;
    QCheckBox* m_fewerRoundTrips;
    QCheckBox* m_decode;
    QCheckBox* m_clamAv;
    QString m_clamAvSetting; // what the ClamAV box stores when checked
    class QPushButton* m_ok;
};
