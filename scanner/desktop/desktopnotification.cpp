#include "scanner/desktop/desktopnotification.h"

#include "scanner/desktop/sessionbus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QVariantMap>

namespace {

QDBusMessage notificationsCall(const char* method)
{
    return QDBusMessage::createMethodCall(
        QLatin1String(kNotificationsService), QLatin1String(kNotificationsPath),
        QLatin1String(kNotificationsInterface), QLatin1String(method));
}

// A server that takes markup would read a sender "Ann <ann@example.org>" as a tag (and a
// subject "<b>" as bold): what the mail says is text, never markup.
QString bodyFor(const QString& text, const QStringList& capabilities)
{
    return capabilities.contains(QLatin1String("body-markup")) ? text.toHtmlEscaped() : text;
}

} // namespace

QByteArray DesktopNotification::toJson() const
{
    return QJsonDocument(QJsonObject{{QStringLiteral("summary"), summary},
                                     {QStringLiteral("body"), body},
                                     {QStringLiteral("urgency"), int(urgency)},
                                     {QStringLiteral("defaultAction"), defaultAction}})
        .toJson(QJsonDocument::Compact);
}

std::optional<DesktopNotification> DesktopNotification::fromJson(const QByteArray& json)
{
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    const int urgency = object.value(QStringLiteral("urgency")).toInt(-1);
    if (object.isEmpty() || urgency < 0 || urgency > int(Urgency::Critical)) {
        return std::nullopt;
    }
    return DesktopNotification{object.value(QStringLiteral("summary")).toString(),
                               object.value(QStringLiteral("body")).toString(), Urgency(urgency),
                               object.value(QStringLiteral("defaultAction")).toString()};
}

std::optional<uint> sendNotification(QDBusConnection& bus, const DesktopNotification& notification,
                                     int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QDBusMessage capabilities = bus.call(notificationsCall("GetCapabilities"), QDBus::Block,
                                               sessionbus::callTimeoutMs(deadline));
    if (capabilities.type() != QDBusMessage::ReplyMessage) {
        return std::nullopt; // no server, or one that does not answer
    }
    const QStringList offered = capabilities.arguments().value(0).toStringList();
    QStringList actions;
    if (!notification.defaultAction.isEmpty() && offered.contains(QLatin1String("actions"))) {
        actions << QLatin1String(kDefaultActionKey) << notification.defaultAction;
    }
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(uchar(notification.urgency))},
        {QStringLiteral("category"), QStringLiteral("email")},
        {QStringLiteral("desktop-entry"), QStringLiteral("orsel01")}};
    QDBusMessage notify = notificationsCall("Notify");
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default).
    notify << QStringLiteral("Orsel") << uint(0) << QStringLiteral("orsel01")
           << notification.summary << bodyFor(notification.body, offered) << actions << hints
           << qint32(-1);
    const QDBusMessage reply = bus.call(notify, QDBus::Block, sessionbus::callTimeoutMs(deadline));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply.arguments().first().toUInt();
}
