#include "settings/settingsdialog.h"

#include "scanner/clamav/clamavengine.h"
#include "scanner/clamav/clamdconfig.h"
#include "settings/signincheck.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <optional>

namespace {

// Off, then the daemon, then a folder, each as stored or as offered.
void offerClamAv(QComboBox* box, const QString& stored, const QString& folder,
                 const QString& socket)
{
    box->addItem(QStringLiteral("Off"), QString());
    const std::optional<QString> storedSocket = scanner::clamdSocketNamed(stored);
    if (storedSocket || !socket.isEmpty()) {
        box->addItem(QStringLiteral("ClamAV daemon (%1)").arg(storedSocket.value_or(socket)),
                     storedSocket ? stored : QStringLiteral("clamd"));
    }
    const bool storedFolder = !stored.isEmpty() && !storedSocket;
    if (storedFolder || !folder.isEmpty()) {
        box->addItem(
            QStringLiteral("Signatures in %1, loaded by every scan")
                .arg(storedFolder ? scanner::ClamAvEngine::databaseFolder(stored) : folder),
            storedFolder ? stored : QStringLiteral("default"));
    }
    box->setCurrentIndex(std::max(0, box->findData(stored)));
}

} // namespace

SettingsDialog::SettingsDialog(const modGeneral::StoredSettings& current,
                               const modGeneral::EngineSettings& engines,
                               const QString& clamAvFolder, const QString& clamdSocket,
                               QWidget* parent)
    : QDialog(parent), m_address(new QLineEdit(current.address, this)),
      m_user(new QLineEdit(current.user, this)), m_pass(new QLineEdit(current.pass, this)),
      m_security(new QComboBox(this)), m_caFile(new QLineEdit(current.caFile, this)),
      m_auth(new QComboBox(this)), m_tokenCommand(new QLineEdit(current.tokenCommand, this)),
      m_checkResult(new QLabel(this)),
      m_fewerRoundTrips(new QCheckBox(QStringLiteral("Fewer round trips: one exchange per new "
                                                     "message (for a distant server)"),
                                      this)),
      m_decode(new QCheckBox(QStringLiteral("Also check decoded attachments (base64, "
                                            "quoted-printable, uuencode)"),
                             this)),
      m_keyring(new QCheckBox(QStringLiteral("Keep the password in the desktop's keyring"), this)),
      m_clamAv(new QComboBox(this)), m_engines(engines)
{
    setWindowTitle(QStringLiteral("Orsel settings"));
    m_address->setObjectName(QStringLiteral("address"));
    m_user->setObjectName(QStringLiteral("user"));
    m_pass->setObjectName(QStringLiteral("pass"));
    m_pass->setEchoMode(QLineEdit::Password);
    m_security->setObjectName(QStringLiteral("security"));
    m_security->addItem(QStringLiteral("TLS (port %1)").arg(securityPort(ConnectionSecurity::Tls)),
                        securityWord(ConnectionSecurity::Tls));
    m_security->addItem(
        QStringLiteral("STLS (port %1)").arg(securityPort(ConnectionSecurity::StartTls)),
        securityWord(ConnectionSecurity::StartTls));
    m_security->addItem(QStringLiteral("None (port %1, password in clear)")
                            .arg(securityPort(ConnectionSecurity::None)),
                        securityWord(ConnectionSecurity::None));
    m_security->setCurrentIndex(
        std::max(0, m_security->findData(modGeneral::defaultSecurity(current))));
    m_caFile->setObjectName(QStringLiteral("caFile"));
    m_caFile->setPlaceholderText(QStringLiteral("system certificates only"));
    offerSignInMethods(current.auth);
    m_fewerRoundTrips->setObjectName(QStringLiteral("fewerRoundTrips"));
    m_fewerRoundTrips->setChecked(modGeneral::defaultFewerRoundTrips(current) ==
                                  QLatin1String("1"));
    m_decode->setObjectName(QStringLiteral("decode"));
    m_keyring->setObjectName(QStringLiteral("keyring"));
    m_keyring->setChecked(!current.passInFile());
    m_clamAv->setObjectName(QStringLiteral("clamav"));
    // New settings decode: that is where attachments hide what the raw check cannot see.
    m_decode->setChecked(engines.decode.isEmpty() || engines.decode == QLatin1String("1"));
    offerClamAv(m_clamAv, engines.clamAV, clamAvFolder, clamdSocket);

    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Enter the mailbox the scanner checks."), this));
    form->addRow(QStringLiteral("POP3 server address:"), m_address);
    form->addRow(QStringLiteral("User name:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_pass);
    form->addRow(m_keyring);
    form->setRowVisible(m_keyring, !current.passInFile()); // until a keyring is offered
    form->addRow(QStringLiteral("Connection security:"), m_security);
    form->addRow(QStringLiteral("CA file:"), m_caFile);
    form->addRow(QStringLiteral("Sign in with:"), m_auth);
    form->addRow(QStringLiteral("Token command:"), m_tokenCommand);
    form->addRow(m_fewerRoundTrips);
    form->addRow(m_decode);
    form->addRow(QStringLiteral("Also scan with ClamAV:"), m_clamAv);
    if (m_clamAv->count() == 1) {
        // Nothing to choose from: no daemon answers and no database is there.
        form->setRowVisible(m_clamAv, false);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    QPushButton* check = buttons->addButton(QStringLiteral("Check"), QDialogButtonBox::ActionRole);
    check->setObjectName(QStringLiteral("check"));
    connect(check, &QPushButton::clicked, this, &SettingsDialog::checkSignIn);
    m_checkResult->setObjectName(QStringLiteral("checkResult"));
    m_checkResult->setWordWrap(true);
    form->addRow(m_checkResult);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* field : {m_address, m_user, m_pass, m_tokenCommand}) {
        connect(field, &QLineEdit::textChanged, this, &SettingsDialog::updateOkButton);
    }
    connect(m_auth, &QComboBox::currentIndexChanged, this, &SettingsDialog::updateOkButton);
    updateOkButton();
}

void SettingsDialog::offerSignInMethods(const QString& stored)
{
    m_auth->setObjectName(QStringLiteral("auth"));
    m_auth->addItem(QStringLiteral("Password (USER and PASS)"), QString());
    m_auth->addItem(QStringLiteral("Password (SASL PLAIN)"), signInMethodWord(SignInMethod::Plain));
    m_auth->addItem(QStringLiteral("OAuth token, XOAUTH2 (Microsoft 365, Outlook.com, Gmail)"),
                    signInMethodWord(SignInMethod::Xoauth2));
    m_auth->addItem(QStringLiteral("OAuth token, OAUTHBEARER"),
                    signInMethodWord(SignInMethod::Oauthbearer));
    const std::optional<SignInMethod> method = signInMethodNamed(stored);
    const bool password = !method || *method == SignInMethod::Password;
    m_auth->setCurrentIndex(password ? 0
                                     : std::max(0, m_auth->findData(signInMethodWord(*method))));
    m_tokenCommand->setObjectName(QStringLiteral("tokenCommand"));
    m_tokenCommand->setPlaceholderText(
        QStringLiteral("for OAuth: a command that prints an access token"));
}

void SettingsDialog::checkSignIn()
{
    m_checkResult->setText(QStringLiteral("Signing in to %1...").arg(m_address->text()));
    setEnabled(false); // the check pumps events: no second check, no OK, meanwhile
    const SignInCheck result = ::checkSignIn(settings());
    setEnabled(true);
    m_checkResult->setText(result.text);
}

void SettingsDialog::updateOkButton()
{
    // The scanner needs all three (a token command standing in for the password); an
    // incomplete set would only bring this dialog back.
    const modGeneral::StoredSettings chosen = settings();
    m_ok->setEnabled(chosen.complete() && (!chosen.pass.isEmpty() || chosen.getsToken()));
}

modGeneral::StoredSettings SettingsDialog::settings() const
{
    modGeneral::StoredSettings chosen{m_address->text(),
                                      m_user->text(),
                                      m_pass->text(),
                                      m_security->currentData().toString(),
                                      m_caFile->text(),
                                      m_fewerRoundTrips->isChecked() ? QStringLiteral("1")
                                                                     : QStringLiteral("0"),
                                      m_auth->currentData().toString(),
                                      m_tokenCommand->text()};
    chosen.passStore = m_keyring->isChecked() ? modGeneral::kPassStoreKeyring : QString();
    return chosen;
}

void SettingsDialog::offerKeyring(bool running, bool ready)
{
    auto* form = static_cast<QFormLayout*>(layout());
    if (!running && !m_keyring->isChecked()) {
        return;
    }
    form->setRowVisible(m_keyring, true);
    m_keyring->setChecked(m_keyring->isChecked() || ready);
}

modGeneral::EngineSettings SettingsDialog::engineSettings() const
{
    modGeneral::EngineSettings engines = m_engines;
    engines.decode = m_decode->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    engines.clamAV = m_clamAv->currentData().toString();
    return engines;
}
