// A desktop session of the tests' own, from Debian's real parts: a private session bus
// (dbus-daemon with a configuration of its own, which starts no service on demand), the
// notification server dunst on the tests' X display, and gnome-keyring-daemon with a login
// keyring the test unlocks. Each is started by the test and stopped by its PID.
#pragma once

#include <QDBusConnection>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Empty when the bus did not start.
    const QString& address() const { return m_address; }
    // The system's environment with this bus as the session bus.
    QProcessEnvironment environment() const;
    // The tests' own connection to it.
    QDBusConnection connection() const;
    // Whether `name` has an owner now.
    bool hasOwner(const QString& name) const;
    // The processes connected to the bus, but for the bus itself.
    QList<qint64> clientPids() const;

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QString m_connectionName;
};

// One notification as dunst's history keeps it.
struct ShownNotification {
    int id = 0;
    QString appName;
    QString summary;
    QString body;
    QString urgency; // from the message format the test's configuration gives each urgency
    QString category;
    QString iconPath;

    static ShownNotification fromHistory(const QJsonObject& entry);
};

class NotificationServer {
public:
    // dunst on `display`, with `iconFolder` as its icon path.
    NotificationServer(const PrivateSessionBus& bus, const QString& display,
                       const QString& iconFolder);
    ~NotificationServer();
    NotificationServer(const NotificationServer&) = delete;
    NotificationServer& operator=(const NotificationServer&) = delete;

    bool isRunning() const { return m_running; }
    // Closes every notification shown (dunst keeps only closed ones in its history) and returns
    // those with an id above `afterId`, oldest first.
    QList<ShownNotification> closeAllAndTakeHistory(int afterId = 0);
    // How many are shown now.
    int displayedCount();
    // Invokes the default action of the newest one shown, as a click does.
    bool invokeDefaultAction();

private:
    QByteArray dunstctl(const QStringList& arguments);

    const PrivateSessionBus& m_bus;
    QTemporaryDir m_folder;
    QProcess m_dunst;
    bool m_running = false;
};

class TestKeyring {
public:
    // gnome-keyring-daemon with its login keyring in a folder of its own, unlocked with
    // `password`.
    TestKeyring(const PrivateSessionBus& bus, const QByteArray& password);
    ~TestKeyring();
    TestKeyring(const TestKeyring&) = delete;
    TestKeyring& operator=(const TestKeyring&) = delete;

    bool isRunning() const { return m_running; }
    // Locks the login keyring, as a screen lock or a timeout does.
    bool lock();
    // `secret-tool lookup` with these attributes: what it printed, or nothing when it failed.
    std::optional<QByteArray> lookup(const QStringList& attributes);

private:
    const PrivateSessionBus& m_bus;
    QTemporaryDir m_folder;
    QProcess m_daemon;
    bool m_running = false;
};
