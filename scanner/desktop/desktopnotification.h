// One freedesktop notification of Orsel (org.freedesktop.Notifications on the session bus): what
// it says, how urgent it is and the label of its default action, sent as the application "Orsel"
// with the installed icon and the category "email".
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

class QDBusConnection;

struct DesktopNotification {
    // The hint "urgency" (a byte): critical notifications stay until the user closes them.
    enum class Urgency : uchar { Low = 0, Normal = 1, Critical = 2 };

    QString summary;
    // Plain text, one item per line; escaped for servers that read markup.
    QString body;
    Urgency urgency = Urgency::Normal;
    // The default action's label; empty: no action. Only the process that sent a notification
    // hears of its actions (servers send the signals to the sender alone).
    QString defaultAction;

    // For handing a notification to another process.
    QByteArray toJson() const;
    static std::optional<DesktopNotification> fromJson(const QByteArray& json);
};

inline constexpr const char* kNotificationsService = "org.freedesktop.Notifications";
inline constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
inline constexpr const char* kNotificationsInterface = "org.freedesktop.Notifications";
// What ActionInvoked names the default action by.
inline constexpr const char* kDefaultActionKey = "default";

// Sends it; the server's id for it, or nothing when no notification server answered within
// `timeoutMs` (then nothing was shown). Never starts a bus.
std::optional<uint> sendNotification(QDBusConnection& bus, const DesktopNotification& notification,
                                     int timeoutMs);
