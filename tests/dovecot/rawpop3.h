// A plain POP3 client that gives the ground truth of what the fixture's Dovecot sends: no
// interpretation beyond finding the end of a reply.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTcpSocket>
#include <chrono>
#include <utility>

namespace dovecot {

class DovecotServer;

// Every call blocks until its reply is complete, at most `timeout` (per call), and throws
// DovecotError on a timeout, a closed connection or, where a call expects success, on "-ERR".
// Needs no event loop. The destructor drops the connection without QUIT.
class RawPop3 {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{10000};

    // Connects and reads the greeting, which must be "+OK".
    explicit RawPop3(const DovecotServer& server,
                     std::chrono::milliseconds timeout = defaultTimeout);
    RawPop3(const QString& address, quint16 port,
            std::chrono::milliseconds timeout = defaultTimeout);

    // Connects and logs in with USER and PASS.
    RawPop3(const DovecotServer& server, const QString& user, const QString& password,
            std::chrono::milliseconds timeout = defaultTimeout);

    RawPop3(const RawPop3&) = delete;
    RawPop3& operator=(const RawPop3&) = delete;

    const QByteArray& greeting() const { return m_greeting; }

    // Sends one command line (without CR LF) and returns the status line without its CR LF,
    // "+OK" or "-ERR" alike.
    QByteArray command(const QByteArray& line);

    void login(const QString& user, const QString& password);
    std::pair<int, qint64> stat();
    // By message number; deleted messages are absent.
    QMap<int, QByteArray> uidl();
    QMap<int, qint64> list();

    // The bytes after the status line's CR LF, up to but not including the CR LF before the
    // final "." line: CR LF line ends and dot-stuffing exactly as sent.
    QByteArray retrBody(int message);
    QByteArray top(int message, int lines);
    void dele(int message);

    // QUIT, then waits until the server closes the connection, by which time Dovecot has removed
    // the deleted messages.
    void quit();

private:
    void connectTo(const QString& address, quint16 port);
    QByteArray expectOk(const QByteArray& line);
    QByteArray multiLine(const QByteArray& line);
    QByteArray readStatusLine(const QByteArray& sent);
    QByteArray readBody(const QByteArray& sent);
    void waitForMore(const QByteArray& sent);
    [[noreturn]] void fail(const QString& what) const;

    QTcpSocket m_socket;
    std::chrono::milliseconds m_timeout;
    QByteArray m_buffer;
    QByteArray m_greeting;
    std::chrono::steady_clock::time_point m_deadline;
};

} // namespace dovecot
