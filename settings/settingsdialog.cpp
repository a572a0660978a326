#include "settings/settingsdialog.h"

#include "scanner/clamav/clamavengine.h"
#include "scanner/clamav/clamdconfig.h"

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
    form->addRow(m_decode);
    form->addRow(QStringLiteral("Also scan with ClamAV:"), m_clamAv);
    if (m_clamAv->count() == 1) {
        // Nothing to choose from: no daemon answers and no database is there.
        form->setRowVisible(m_clamAv, false);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit* field : {m_address, m_user, m_pass}) {
        connect(field, &QLineEdit::textChanged, this, &SettingsDialog::updateOkButton);
    }
    updateOkButton();
}

void SettingsDialog::updateOkButton()
{
    // The scanner needs all three; an incomplete set would only bring this dialog back.
    m_ok->setEnabled(settings().complete() && !m_pass->text().isEmpty());
}

modGeneral::StoredSettings SettingsDialog::settings() const
{
    return {m_address->text(), m_user->text(),
            m_pass->text(),    m_security->currentData().toString(),
            m_caFile->text(),  m_keyring->isChecked() ? modGeneral::kPassStoreKeyring : QString()};
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
