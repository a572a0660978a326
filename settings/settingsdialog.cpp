#include "settings/settingsdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

SettingsDialog::SettingsDialog(const modGeneral::StoredSettings& current, QWidget* parent)
    : QDialog(parent), m_address(new QLineEdit(current.address, this)),
      m_user(new QLineEdit(current.user, this)), m_pass(new QLineEdit(current.pass, this))
{
    setWindowTitle(QStringLiteral("Orsel settings"));
    m_address->setObjectName(QStringLiteral("address"));
    m_user->setObjectName(QStringLiteral("user"));
    m_pass->setObjectName(QStringLiteral("pass"));
    m_pass->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout(this);
    form->addRow(new QLabel(QStringLiteral("Enter the mailbox the scanner checks."), this));
    form->addRow(QStringLiteral("POP3 server address:"), m_address);
    form->addRow(QStringLiteral("User name:"), m_user);
    form->addRow(QStringLiteral("Password:"), m_pass);
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
    m_ok->setEnabled(settings().complete());
}

modGeneral::StoredSettings SettingsDialog::settings() const
{
    return {m_address->text(), m_user->text(), m_pass->text()};
}
