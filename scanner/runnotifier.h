// The desktop notification at the end of a headless run that needs someone's attention: infected
// mail removed, mail not fully checked, or a failure. A clean run sends none. Without a session
// bus or a notification server nothing is shown, and nothing else changes: the run's status and
// output stay the same, and the wait for the server is short.
#pragma once

#include "scanner/account.h"
#include "scanner/desktop/desktopnotification.h"
#include "scanner/desktop/notifykit.h"
#include "scanner/runoutcome.h"

#include <QString>
#include <optional>

class RunNotifier {
public:
    // `quarantineFolder`: where infected messages' files went (--quarantine), or empty; the
    // notification then opens it when clicked. `program`: this program, for the helper that
    // waits for that click.
    RunNotifier(Account account, QString quarantineFolder, QString program);

    // The mailbox the run logged in to, as the settings name it.
    void setMailbox(const QString& user, const QString& address);

    void notify(const RunOutcome& outcome) const;

    // What notify() sends for `outcome`; nothing for a run that needs no one's attention.
    std::optional<DesktopNotification> notificationFor(const RunOutcome& outcome) const;

    static constexpr int kTimeoutMs = 2000;

private:
    QString accountLine() const;

    Account m_account;
    QString m_quarantineFolder;
    QString m_program;
    QString m_mailbox;
};

// The notification module beside the program; null, with the reason on standard error (the
// journal, for a timer's run), when it cannot be loaded.
const NotifyKit* loadNotifyKit();
