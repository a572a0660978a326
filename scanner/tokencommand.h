// The token command: a helper the user names (a token manager that keeps the refresh token in
// the keyring) which prints a fresh OAuth access token. It runs with /bin/sh -c; the first line
// of its standard output is the token.
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

inline constexpr std::chrono::milliseconds kTokenCommandLimit{30000};

struct TokenCommandResult {
    QByteArray token; // empty when the command failed
    QString error;    // why, naming the command and its last line of standard error
    bool ok() const { return !token.isEmpty(); }
};

// Runs `command` and waits at most `limit` for it, pumping the event loop meanwhile so a window
// stays responsive. A command still running then is ended with everything it started. The token
// is kept out of every message.
TokenCommandResult runTokenCommand(const QString& command,
                                   std::chrono::milliseconds limit = kTokenCommandLimit);
