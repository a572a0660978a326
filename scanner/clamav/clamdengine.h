// The ClamAV engine as a daemon: clamd, with its database loaded once for every scan of the
// machine, checks each saved message on request. The scanner itself stays small and starts fast.
#pragma once

#include "scanner/clamav/clamavverdict.h"
#include "scanner/clamav/clamdrequest.h"

#include <QByteArray>
#include <QString>

namespace scanner {

class ClamdEngine {
public:
    struct Limits {
        int connectMs = 5000;
        // PING and VERSION. A daemon that has just started answers once its database is loaded:
        // 13 to 18 s for the official one.
        int answerMs = 20000;
        // Silence while one message is scanned; clamd gives up on a scan after 120 s itself.
        int scanMs = 180000;
        // A daemon gone away is tried again for this long before a message is given up: reloading
        // its database takes it away for 15 to 60 s.
        int retryMs = 60000;
        int retryPauseMs = 1000;
    };

    explicit ClamdEngine(QString socket, Limits limits);
    explicit ClamdEngine(QString socket) : ClamdEngine(std::move(socket), Limits{}) {}

    // PING (answered "PONG") and VERSION, pumping the event loop while it waits. False with error
    // "Cannot use the ClamAV daemon at PATH: REASON" when the daemon is not there, does not
    // answer or answers otherwise.
    bool connect(QString* error);
    const QString& socket() const { return m_socket; }
    // VERSION's answer, e.g. "ClamAV 1.4.6/27850/Mon Dec  8 09:26:10 2025".
    const QByteArray& version() const { return m_version; }

    // Lets the daemon scan the saved message: by descriptor, or as a stream where the daemon
    // takes no descriptors (a relay between us, an old daemon); from then on always as a stream.
    // Never fails the run: what kept the daemon from checking the message to its end is in the
    // verdict.
    ClamAvVerdict scanFile(const QString& path);

    // "daemon=PATH;version=...", so that a database update counts as a change of engine.
    QByteArray fingerprint() const;

    // For offering the daemon in the settings: whether something answers PING there in time.
    static bool answersPing(const QString& socket, int limitMs);

private:
    ClamdRequest::Result scanOnce(const QString& path);
    ClamAvVerdict verdictOf(const ClamdRequest::Result& result) const;
    ClamAvVerdict notChecked(const QString& reason) const;
    void pauseBeforeRetry(qint64 remainingMs) const;

    QString m_socket;
    Limits m_limits;
    QByteArray m_version;
    bool m_streamOnly = false;
    // When the daemon was first found gone (monotonic ms), -1 while it answers. Kept over the
    // messages of a run, so that a daemon that stays away costs the retries once, not per message.
    qint64 m_goneSinceMs = -1;
};

} // namespace scanner
