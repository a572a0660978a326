// The control's error codes and the texts ErrorText gives for them.
#pragma once

#include <QByteArray>

namespace controlerrors {

enum Code : qint16 {
    None = 0,
    GreetingTimeout = 11,
    ConnectTimeout = 12,
    AlreadyConnected = 13,
    UserRefused = 14,
    PassRefused = 15,
    HostnameBlank = 16,
    UsernameBlank = 17,
    StatRefused = 18,
    SelectWhenDisconnected = 19,
    MessageNumberOutOfRange = 20,
    UidlRefused = 21,
    TopRefused = 22,
    RetrieveWhenDisconnected = 23,
    RetrieveNoMessage = 24,
    RetrieveRefused = 25,
    DeleRefused = 26,
    DeleteWhenDisconnected = 27,
    RsetRefused = 28,
    ResetWhenDisconnected = 29,
    ListRefused = 30,
    FileError = 31,
    SecureConnectionFailed = 32,
    StlsRefused = 33,
    QuitRefused = 34,
    SignInMethodNotOffered = 35,
    SignInRefused = 36,
};

// The text of ErrorText: "" for 0; the code's text for 11..36, followed directly by `detail`
// for the codes that carry one; `socketDescription` for every other value (socket numbers).
QByteArray errorText(qint16 code, const QByteArray& detail, const QByteArray& socketDescription);

} // namespace controlerrors
