#include "scanner/desktop/notificationhandoff.h"

#include "scanner/desktop/sessionbus.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace {

constexpr int kSendTimeoutMs = 3000;
constexpr int kStartTimeoutMs = 5000;
// Nobody looked for a day: the notification has been forgotten.
constexpr int kLongestWaitMs = 24 * 60 * 60 * 1000;
constexpr int kBusCheckIntervalMs = 5000;

// What the helper needs to reach the desktop: the bus, and for xdg-open the display.
const char* const kDesktopVariables[] = {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY",
                                         "XDG_RUNTIME_DIR", "XDG_CURRENT_DESKTOP"};

// A transient unit leaves the service's control group, so systemd does not end the helper with
// the scan. systemd-run returns once the unit runs.
bool startAsUnit(const QString& program, const QProcessEnvironment& environment)
{
    const QString systemdRun = QStandardPaths::findExecutable(QStringLiteral("systemd-run"));
    if (systemdRun.isEmpty()) {
        return false;
    }
    QStringList arguments{QStringLiteral("--user"), QStringLiteral("--collect"),
                          QStringLiteral("--quiet")};
    // --setenv=NAME without a value passes systemd-run's own, which stays off its command line.
    for (const char* name : {kNotificationVariable, kNotificationFolderVariable}) {
        arguments << QStringLiteral("--setenv=") + QLatin1String(name);
    }
    for (const char* name : kDesktopVariables) {
        if (environment.contains(QLatin1String(name))) {
            arguments << QStringLiteral("--setenv=") + QLatin1String(name);
        }
    }
    arguments << QStringLiteral("--") << program << QStringLiteral("--notification-helper");
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(systemdRun, arguments);
    if (!run.waitForFinished(kStartTimeoutMs)) {
        run.kill();
        run.waitForFinished();
        return false;
    }
    return run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
}

// Waits for what happens to the notification; opens the folder on its default action. Made
// before the notification is sent, so that no signal about it can come before it listens.
class ActionWaiter : public QObject {
    Q_OBJECT
public:
    ActionWaiter(QDBusConnection bus, QString folder)
        : m_bus(std::move(bus)), m_folder(std::move(folder))
    {
        for (const char* signal : {"ActionInvoked", "NotificationClosed"}) {
            m_bus.connect(QLatin1String(kNotificationsService), QLatin1String(kNotificationsPath),
                          QLatin1String(kNotificationsInterface), QLatin1String(signal), this,
                          signal == QByteArray("ActionInvoked")
                              ? SLOT(onActionInvoked(uint, QString))
                              : SLOT(onClosed(uint, uint)));
        }
        auto* server = new QDBusServiceWatcher(QLatin1String(kNotificationsService), m_bus,
                                               QDBusServiceWatcher::WatchForUnregistration, this);
        connect(server, &QDBusServiceWatcher::serviceUnregistered, qApp, &QCoreApplication::quit);
        // Qt says nothing when the bus itself goes away: ask now and then.
        auto* busCheck = new QTimer(this);
        connect(busCheck, &QTimer::timeout, this, [this] {
            if (!m_bus.isConnected()) {
                QCoreApplication::quit();
            }
        });
        busCheck->start(kBusCheckIntervalMs);
        QTimer::singleShot(kLongestWaitMs, qApp, &QCoreApplication::quit);
    }

    void setId(uint id) { m_id = id; }

private slots:
    void onActionInvoked(uint id, const QString& action)
    {
        if (id != m_id || action != QLatin1String(kDefaultActionKey)) {
            return;
        }
        QProcess::startDetached(QStringLiteral("xdg-open"), {m_folder});
        // Done with: servers that keep a clicked notification are told to drop it.
        QDBusMessage close = QDBusMessage::createMethodCall(
            QLatin1String(kNotificationsService), QLatin1String(kNotificationsPath),
            QLatin1String(kNotificationsInterface), QStringLiteral("CloseNotification"));
        close << m_id;
        m_bus.call(close, QDBus::Block, kSendTimeoutMs);
        QCoreApplication::quit();
    }
    void onClosed(uint id, uint)
    {
        if (id == m_id) {
            QCoreApplication::quit();
        }
    }

private:
    QDBusConnection m_bus;
    QString m_folder;
    uint m_id = 0; // servers number their notifications from 1
};

} // namespace

bool handOffNotification(const QString& program, const DesktopNotification& notification,
                         const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QLatin1String(kNotificationVariable),
                       QString::fromUtf8(notification.toJson()));
    environment.insert(QLatin1String(kNotificationFolderVariable), folder);
    // INVOCATION_ID marks a process that systemd started as (part of) a service.
    if (environment.contains(QStringLiteral("INVOCATION_ID"))) {
        return startAsUnit(program, environment);
    }
    QProcess helper;
    helper.setProgram(program);
    helper.setArguments({QStringLiteral("--notification-helper")});
    helper.setProcessEnvironment(environment);
    // Whoever reads the run's output waits for its end, not for a helper that holds the pipe.
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.setStandardErrorFile(QProcess::nullDevice());
    return helper.startDetached(); // in a session of its own: a closed terminal does not end it
}

int runNotificationHelper()
{
    const std::optional<DesktopNotification> notification =
        DesktopNotification::fromJson(qgetenv(kNotificationVariable));
    const QString folder = qEnvironmentVariable(kNotificationFolderVariable);
    // Not for whatever xdg-open starts.
    qunsetenv(kNotificationVariable);
    qunsetenv(kNotificationFolderVariable);
    std::optional<QDBusConnection> bus = sessionbus::connection();
    if (!notification || !bus) {
        return 0;
    }
    ActionWaiter waiter(*bus, folder);
    const std::optional<uint> id = sendNotification(*bus, *notification, kSendTimeoutMs);
    if (!id || notification->defaultAction.isEmpty() || folder.isEmpty()) {
        return 0;
    }
    waiter.setId(*id);
    return QCoreApplication::exec();
}

#include "notificationhandoff.moc"
