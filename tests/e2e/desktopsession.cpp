#include "tests/e2e/desktopsession.h"

#include "tests/support/waitfor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <algorithm>

namespace {

constexpr int kStartLimitMs = 15000;

void stop(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate(); // by its PID
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

PrivateSessionBus::PrivateSessionBus()
    : m_connectionName(QStringLiteral("test-bus-") + QUuid::createUuid().toString())
{
    // No <servicedir>: nothing on this bus starts on demand, so a test sees only what it started.
    const QByteArray config = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                              "Configuration 1.0//EN\" "
                              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig><type>session</type><listen>unix:dir=" +
                              QFile::encodeName(m_folder.path()) +
                              "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                              "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                              "</busconfig>\n";
    const QString configFile = m_folder.filePath(QStringLiteral("bus.conf"));
    if (!writeFile(configFile, config)) {
        return;
    }
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + configFile, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000)) {
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (!m_daemon.canReadLine() && timer.elapsed() < kStartLimitMs &&
           m_daemon.state() == QProcess::Running) {
        m_daemon.waitForReadyRead(200);
    }
    m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
}

PrivateSessionBus::~PrivateSessionBus()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    stop(m_daemon);
}

QProcessEnvironment PrivateSessionBus::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    return environment;
}

QDBusConnection PrivateSessionBus::connection() const
{
    return QDBusConnection::connectToBus(m_address, m_connectionName);
}

bool PrivateSessionBus::hasOwner(const QString& name) const
{
    QDBusConnection bus = connection();
    return bus.isConnected() && bus.interface()->isServiceRegistered(name).value();
}

QList<qint64> PrivateSessionBus::clientPids() const
{
    QDBusConnection bus = connection();
    QList<qint64> pids;
    const QStringList names = bus.interface()->registeredServiceNames().value();
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char(':')) && name != bus.baseService()) {
            const qint64 pid = bus.interface()->servicePid(name).value();
            if (pid > 0 && !pids.contains(pid)) {
                pids.append(pid);
            }
        }
    }
    return pids;
}

ShownNotification ShownNotification::fromHistory(const QJsonObject& entry)
{
    const auto field = [&entry](const char* name) {
        return entry.value(QLatin1String(name)).toObject().value(QStringLiteral("data"));
    };
    ShownNotification shown;
    shown.id = field("id").toInt();
    shown.appName = field("appname").toString();
    shown.summary = field("summary").toString();
    shown.body = field("body").toString();
    shown.urgency = field("message").toString().section(QLatin1Char(':'), 0, 0);
    shown.category = field("category").toString();
    shown.iconPath = field("icon_path").toString();
    return shown;
}

NotificationServer::NotificationServer(const PrivateSessionBus& bus, const QString& display,
                                       const QString& iconFolder)
    : m_bus(bus)
{
    // Markup on, as Debian's configuration has it. Each urgency's format begins with its name,
    // so that the history shows it.
    const QByteArray config =
        "[global]\n    markup = full\n    icon_path = " + QFile::encodeName(iconFolder) +
        "\n[urgency_low]\n    format = \"low: %s\\n%b\"\n"
        "[urgency_normal]\n    format = \"normal: %s\\n%b\"\n"
        "[urgency_critical]\n    format = \"critical: %s\\n%b\"\n";
    const QString configFile = m_folder.filePath(QStringLiteral("dunstrc"));
    if (bus.address().isEmpty() || !writeFile(configFile, config)) {
        return;
    }
    QProcessEnvironment environment = bus.environment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    m_dunst.setProcessEnvironment(environment);
    m_dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_dunst.start(QStringLiteral("dunst"), {QStringLiteral("-config"), configFile});
    m_running =
        m_dunst.waitForStarted(5000) &&
        waitFor([&bus] { return bus.hasOwner(QStringLiteral("org.freedesktop.Notifications")); },
                kStartLimitMs);
}

NotificationServer::~NotificationServer()
{
    stop(m_dunst);
}

QByteArray NotificationServer::dunstctl(const QStringList& arguments)
{
    QProcess control;
    control.setProcessEnvironment(m_bus.environment());
    control.start(QStringLiteral("dunstctl"), arguments);
    control.waitForFinished(10000);
    return control.readAllStandardOutput();
}

QList<ShownNotification> NotificationServer::closeAllAndTakeHistory(int afterId)
{
    dunstctl({QStringLiteral("close-all")});
    const QJsonArray entries = QJsonDocument::fromJson(dunstctl({QStringLiteral("history")}))
                                   .object()
                                   .value(QStringLiteral("data"))
                                   .toArray()
                                   .at(0)
                                   .toArray();
    QList<ShownNotification> shown;
    for (const QJsonValue& entry : entries) {
        const ShownNotification notification = ShownNotification::fromHistory(entry.toObject());
        if (notification.id > afterId) {
            shown.append(notification);
        }
    }
    std::sort(shown.begin(), shown.end(),
              [](const ShownNotification& a, const ShownNotification& b) { return a.id < b.id; });
    return shown;
}

int NotificationServer::displayedCount()
{
    return dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}).trimmed().toInt();
}

bool NotificationServer::invokeDefaultAction()
{
    QProcess control;
    control.setProcessEnvironment(m_bus.environment());
    control.start(QStringLiteral("dunstctl"), {QStringLiteral("action"), QStringLiteral("0")});
    return control.waitForFinished(10000) && control.exitCode() == 0;
}

TestKeyring::TestKeyring(const PrivateSessionBus& bus, const QByteArray& password) : m_bus(bus)
{
    if (bus.address().isEmpty()) {
        return;
    }
    // Its keyrings live under XDG_DATA_HOME; --unlock reads the login keyring's password from
    // standard input and creates that keyring when there is none.
    QProcessEnvironment environment = bus.environment();
    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"}) {
        environment.insert(QLatin1String(variable), m_folder.path());
    }
    environment.remove(QStringLiteral("DISPLAY"));
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.start(QStringLiteral("gnome-keyring-daemon"),
                   {QStringLiteral("--foreground"), QStringLiteral("--components=secrets"),
                    QStringLiteral("--unlock")});
    if (!m_daemon.waitForStarted(5000)) {
        return;
    }
    m_daemon.write(password);
    m_daemon.closeWriteChannel();
    m_running = waitFor(
        [this] {
            // Ready once the login keyring is the default collection.
            QDBusMessage alias = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.secrets"),
                QStringLiteral("/org/freedesktop/secrets"),
                QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
            alias << QStringLiteral("default");
            const QDBusMessage reply = m_bus.connection().call(alias, QDBus::Block, 2000);
            return m_bus.hasOwner(QStringLiteral("org.freedesktop.secrets")) &&
                   reply.type() == QDBusMessage::ReplyMessage &&
                   reply.arguments().value(0).value<QDBusObjectPath>().path().length() > 1;
        },
        kStartLimitMs);
}

TestKeyring::~TestKeyring()
{
    stop(m_daemon);
}

bool TestKeyring::lock()
{
    QDBusMessage lock = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
    lock << QVariant::fromValue(QList<QDBusObjectPath>{
        QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))});
    return m_bus.connection().call(lock, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

std::optional<QByteArray> TestKeyring::lookup(const QStringList& attributes)
{
    QProcess tool;
    tool.setProcessEnvironment(m_bus.environment());
    tool.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("lookup")} + attributes);
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0) {
        return std::nullopt;
    }
    return tool.readAllStandardOutput();
}
