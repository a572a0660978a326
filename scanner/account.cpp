#include "scanner/account.h"

#include <QRegularExpression>

namespace {

// What QSettings, a file name or a shell would change or split; control characters also stand for
// bytes that were not text where the name came from.
QString refusalOf(const QString& name)
{
    if (name.isEmpty()) {
        return QStringLiteral("an account name cannot be empty");
    }
    if (name.size() > Account::kMaximumNameLength) {
        return QStringLiteral("an account name has at most %1 characters")
            .arg(Account::kMaximumNameLength);
    }
    for (const QChar c : name) {
        // "/" and "\" separate groups in the settings file and folders on disk; "]" would end
        // the group's line for anyone who reads or edits the file by hand.
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(']') ||
            c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter) {
            return QStringLiteral("an account name cannot hold \"/\", \"\\\", \"]\" or control "
                                  "characters");
        }
    }
    if (name.front().isSpace() || name.back().isSpace()) {
        return QStringLiteral("an account name cannot begin or end with a blank");
    }
    if (name == QLatin1String(".") || name == QLatin1String("..")) {
        return QStringLiteral("an account name cannot be \".\" or \"..\"");
    }
    return QString();
}

} // namespace

std::optional<Account> Account::named(const QString& name, QString* why)
{
    const QString refusal = refusalOf(name);
    if (!refusal.isEmpty()) {
        *why = refusal;
        return std::nullopt;
    }
    return Account(name);
}

QString Account::settingsGroup() const
{
    return isDefault() ? QStringLiteral("Settings") : QStringLiteral("Account ") + m_name;
}

QString Account::savedFilesSubfolder() const
{
    return isDefault() ? QString() : QStringLiteral("accounts/") + m_name;
}

QString Account::displayName() const
{
    return isDefault() ? QStringLiteral("default") : m_name;
}

QString Account::commandLineArguments() const
{
    if (isDefault()) {
        return QString();
    }
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._@+=:,-]+$"));
    QString quoted = m_name;
    if (!plain.match(m_name).hasMatch()) {
        quoted = QLatin1Char('\'') +
                 QString(m_name).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                 QLatin1Char('\'');
    }
    return QStringLiteral("--account ") + quoted + QLatin1Char(' ');
}
