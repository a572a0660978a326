// A private ClamAV daemon for tests: Debian's clamd with a configuration, socket and signature
// database of its own in a temporary folder, in the foreground, stopped by its PID.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class ClamdServer {
public:
    // `settings`: further clamd.conf lines, e.g. "StreamMaxLength 1M". `database`: the one
    // signature file (.hdb), by default EICAR's MD5 as "Orsel.Test.EICAR"; or, instead, a
    // `databaseFolder` of signatures written elsewhere.
    explicit ClamdServer(const QStringList& settings = {}, const QByteArray& database = {},
                         const QString& databaseFolder = {});
    ~ClamdServer();
    ClamdServer(const ClamdServer&) = delete;
    ClamdServer& operator=(const ClamdServer&) = delete;

    // Starts it and waits (up to `limitMs`) until it answers PING, which it does once its
    // database is loaded. False with the reason and its log when it does not.
    bool start(QString* why, int limitMs = 60000);
    // SIGKILL, as a crash or the OOM killer ends it: the socket file stays behind.
    void kill();

    QString socket() const { return m_folder.filePath(QStringLiteral("clamd.sock")); }
    QString folder() const { return m_folder.path(); }
    QString config() const { return m_folder.filePath(QStringLiteral("clamd.conf")); }
    qint64 pid() const { return m_clamd.processId(); }

private:
    bool answersPing();

    QTemporaryDir m_folder;
    QProcess m_clamd;
};

// A relay in front of a socket that carries bytes but no descriptors (the program socketrelay),
// as a daemon reached through a container's or a VM's forwarded socket is. Stopped by its PID.
class DescriptorlessRelay {
public:
    explicit DescriptorlessRelay(const QString& target);
    ~DescriptorlessRelay();
    DescriptorlessRelay(const DescriptorlessRelay&) = delete;
    DescriptorlessRelay& operator=(const DescriptorlessRelay&) = delete;

    // Empty when the relay did not start listening.
    QString socket() const { return m_listening ? m_socket : QString(); }

private:
    QTemporaryDir m_folder;
    QString m_socket;
    QProcess m_relay;
    bool m_listening = false;
};
