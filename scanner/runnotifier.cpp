#include "scanner/runnotifier.h"

#include "scanner/definitioncheck/mimekit.h"
#include "scanner/desktop/notifykit.h"
#include "scanner/programmodule.h"
#include "scanner/statusoutput.h"

#include <QStringList>

namespace {

// Each message on one line of a small bubble.
constexpr qsizetype kHeaderLength = 60;
constexpr qsizetype kDetailLength = 100;

// Decoded by GMime, loaded only now that a notification names a message; without the module the
// value as sent, on one line.
QString readableHeader(const QByteArray& raw)
{
    static const scanner::MimeKit* const kit = loadProgramModule<scanner::MimeKit>(
        scanner::kMimeKitModule, scanner::kMimeKitEntryPoint, nullptr);
    if (kit) {
        return kit->headerText(raw, kHeaderLength);
    }
    QString text = QString::fromUtf8(raw).simplified();
    return text.size() > kHeaderLength ? text.left(kHeaderLength - 3) + QStringLiteral("...")
                                       : text;
}

QString messageLine(const RunOutcome::Message& message, bool committed)
{
    QString prefix = QStringLiteral("Not fully checked: ");
    if (message.finding == RunOutcome::Finding::Infected) {
        prefix = committed ? QStringLiteral("Removed: ")
                           : QStringLiteral("Infected, still on the server: ");
    }
    QString from = readableHeader(message.from);
    QString subject = readableHeader(message.subject);
    QString detail = message.detail.simplified();
    if (detail.size() > kDetailLength) {
        detail = detail.left(kDetailLength - 3) + QStringLiteral("...");
    }
    return prefix + (from.isEmpty() ? QStringLiteral("(no sender)") : from) +
           QStringLiteral(", \"") + (subject.isEmpty() ? QStringLiteral("(no subject)") : subject) +
           QStringLiteral("\": ") + detail;
}

bool failed(const RunOutcome& outcome)
{
    return !outcome.failure.isEmpty();
}

} // namespace

RunNotifier::RunNotifier(Account account, QString quarantineFolder, QString program)
    : m_account(std::move(account)), m_quarantineFolder(std::move(quarantineFolder)),
      m_program(std::move(program))
{
}

void RunNotifier::setMailbox(const QString& user, const QString& address)
{
    m_mailbox =
        user.isEmpty() || address.isEmpty() ? QString() : user + QStringLiteral(" at ") + address;
}

QString RunNotifier::accountLine() const
{
    if (m_account.isDefault() && !m_mailbox.isEmpty()) {
        return m_mailbox;
    }
    const QString account = QStringLiteral("Account ") + m_account.displayName();
    return m_mailbox.isEmpty() ? account : account + QStringLiteral(": ") + m_mailbox;
}

std::optional<DesktopNotification> RunNotifier::notificationFor(const RunOutcome& outcome) const
{
    const bool infected = outcome.hasFinding(RunOutcome::Finding::Infected);
    DesktopNotification notification;
    if (failed(outcome)) {
        notification.summary = QStringLiteral("Mail scan failed");
    } else if (infected) {
        notification.summary = QStringLiteral("Infected mail removed");
    } else if (outcome.hasFinding(RunOutcome::Finding::NotFullyChecked)) {
        notification.summary = QStringLiteral("Some mail was not fully checked");
    } else {
        return std::nullopt;
    }
    // Infected mail is what must not wait for the user's next look.
    notification.urgency =
        infected ? DesktopNotification::Urgency::Critical : DesktopNotification::Urgency::Normal;
    QStringList lines{accountLine()};
    if (failed(outcome)) {
        lines << outcome.failure.simplified();
    }
    for (const RunOutcome::Message& message : outcome.messages) {
        lines << messageLine(message, outcome.committed);
    }
    notification.body = lines.join(QLatin1Char('\n'));
    if (infected && !m_quarantineFolder.isEmpty()) {
        notification.defaultAction = QStringLiteral("Open the quarantine folder");
    }
    return notification;
}

void RunNotifier::notify(const RunOutcome& outcome) const
{
    const std::optional<DesktopNotification> notification = notificationFor(outcome);
    if (!notification) {
        return;
    }
    // Without the module the run's status and output stay as they are.
    if (const NotifyKit* kit = loadNotifyKit()) {
        kit->notify(*notification, m_program, m_quarantineFolder, kTimeoutMs);
    }
}

const NotifyKit* loadNotifyKit()
{
    QString failure;
    const NotifyKit* kit =
        loadProgramModule<NotifyKit>(kNotifyKitModule, kNotifyKitEntryPoint, &failure);
    if (!kit) {
        writeErrorText(QStringLiteral("Orsel01: no notification: ") + failure);
    }
    return kit;
}
