#include "scanner/desktop/secretservice.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace secretservice {
namespace {

const QString kService = QStringLiteral("org.freedesktop.secrets");
const QString kServicePath = QStringLiteral("/org/freedesktop/secrets");

QDBusMessage call(QDBusConnection& bus, const QDBusMessage& message, int timeoutMs, Answer* failed)
{
    const QDBusMessage reply = bus.call(message, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *failed = {State::NoService,
                   reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()};
    }
    return reply;
}

QList<QDBusObjectPath> pathsOf(const QVariant& argument)
{
    QList<QDBusObjectPath> paths;
    argument.value<QDBusArgument>() >> paths;
    return paths;
}

} // namespace

bool isRunning(QDBusConnection& bus, int timeoutMs)
{
    const QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("/org/freedesktop/DBus"),
                                                QStringLiteral("org.freedesktop.DBus"),
                                                QStringLiteral("NameHasOwner"))
                     << kService,
                 QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

Answer itemState(QDBusConnection& bus, const QMap<QString, QString>& attributes, int timeoutMs)
{
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>(); // a{ss}
    Q_UNUSED(registered);
    QDBusMessage search = QDBusMessage::createMethodCall(
        kService, kServicePath, QStringLiteral("org.freedesktop.Secret.Service"),
        QStringLiteral("SearchItems"));
    search << QVariant::fromValue(attributes);
    Answer answer{State::Missing, {}};
    const QDBusMessage reply = call(bus, search, timeoutMs, &answer);
    if (answer.state == State::NoService) {
        return answer;
    }
    // (unlocked, locked)
    if (!pathsOf(reply.arguments().value(0)).isEmpty()) {
        return {State::Unlocked, {}};
    }
    if (!pathsOf(reply.arguments().value(1)).isEmpty()) {
        return {State::Locked, {}};
    }
    return answer;
}

Answer defaultCollectionState(QDBusConnection& bus, int timeoutMs)
{
    Answer answer{State::Missing, {}};
    const QDBusMessage alias =
        call(bus,
             QDBusMessage::createMethodCall(kService, kServicePath,
                                            QStringLiteral("org.freedesktop.Secret.Service"),
                                            QStringLiteral("ReadAlias"))
                 << QStringLiteral("default"),
             timeoutMs, &answer);
    const QString path = alias.arguments().value(0).value<QDBusObjectPath>().path();
    if (answer.state == State::NoService || path.isEmpty() || path == QLatin1String("/")) {
        return answer;
    }
    const QDBusMessage locked =
        call(bus,
             QDBusMessage::createMethodCall(kService, path,
                                            QStringLiteral("org.freedesktop.DBus.Properties"),
                                            QStringLiteral("Get"))
                 << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked"),
             timeoutMs, &answer);
    if (answer.state == State::NoService) {
        return answer;
    }
    const bool isLocked = locked.arguments().value(0).value<QDBusVariant>().variant().toBool();
    return {isLocked ? State::Locked : State::Unlocked, {}};
}

} // namespace secretservice
