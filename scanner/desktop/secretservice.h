// What the desktop's keyring (the Secret Service, org.freedesktop.secrets) says about itself,
// asked in ways that never make it prompt: whether it answers, and what is locked. Reading and
// writing secrets is QtKeychain's (keyringpassword.h).
#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QString>

namespace secretservice {

enum class State {
    NoService, // nothing answers on the bus (the error says what)
    Missing,   // it answers, but there is no such item, or no default collection
    Locked,
    Unlocked,
};

struct Answer {
    State state;
    QString error; // with NoService: the bus's words
};

// Whether the service's name has an owner now; asking this starts no service.
bool isRunning(QDBusConnection& bus, int timeoutMs);

// The lock of the items whose attributes include `attributes`: Unlocked when one is unlocked.
Answer itemState(QDBusConnection& bus, const QMap<QString, QString>& attributes, int timeoutMs);

// The lock of the default collection, where new secrets go.
Answer defaultCollectionState(QDBusConnection& bus, int timeoutMs);

} // namespace secretservice
