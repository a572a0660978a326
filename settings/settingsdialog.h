// The settings dialog: server address, user name and password for the scanner, how the
// connection is secured and how it signs in (with a token command for OAuth), whether it saves
// round trips, and the checks it runs besides the definition check. "Check" tries the sign-in.
#pragma once

#include "scanner/modgeneral.h"

#include <QDialog>

class QComboBox;
class QCheckBox;
class QLineEdit;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // What ClamAV can be here: clamAvFolder, a database folder to load in-process, and
    // clamdSocket, the socket of a daemon that answered; each empty when there is none. The
    // ClamAV choice is shown only when there is one, or when the store already names either.
    SettingsDialog(const modGeneral::StoredSettings& current,
                   const modGeneral::EngineSettings& engines, const QString& clamAvFolder,
                   const QString& clamdSocket = QString(), QWidget* parent = nullptr);

    // With the password in the keyring, settings() has passStore "keyring".
    modGeneral::StoredSettings settings() const;
    modGeneral::EngineSettings engineSettings() const;

    // Offers to keep the password in the desktop's keyring when one is running (or already keeps
    // it): chosen for settings kept there, and for others when the keyring is `ready` (unlocked).
    void offerKeyring(bool running, bool ready);

private:
    void updateOkButton();
    void offerSignInMethods(const QString& stored);
    void checkSignIn();

    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_pass;
    QComboBox* m_security;
    QLineEdit* m_caFile;
    QComboBox* m_auth; // each item's data: the value of "Auth" it stores
    QLineEdit* m_tokenCommand;
    class QLabel* m_checkResult;
    QCheckBox* m_fewerRoundTrips;
    QCheckBox* m_decode;
    QCheckBox* m_keyring;
    QComboBox* m_clamAv;                  // each item's data: the value of "ClamAV" it stores
    modGeneral::EngineSettings m_engines; // as stored; the limits are kept as they are
    class QPushButton* m_ok;
};
