// A TCP proxy that holds every piece of data 20 ms (or as told) in each direction before passing
// it on, as a server far away would, and counts what the client waited for: each run of client
// data that follows server data is one more turn of the conversation, one more round trip.
// Plain sockets and poll() on a thread of its own; no kernel queueing discipline needed.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <atomic>
#include <chrono>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class DelayProxy {
public:
    // One client connection once both sides have closed.
    struct Session {
        QList<QByteArrayList> turns; // the client's command lines, grouped by turn
        // When the client connected, began each turn and closed, and when the server closed.
        std::chrono::steady_clock::time_point connected, clientClosed, serverClosed;
        QList<std::chrono::steady_clock::time_point> turnStarts;
        qint64 bytesToServer = 0;
        qint64 bytesToClient = 0;
    };

    DelayProxy(QByteArray listenAddress, quint16 listenPort, QByteArray serverAddress,
               quint16 serverPort, std::chrono::milliseconds delay);
    ~DelayProxy();
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    // Listens and starts the thread; false with the reason when the address cannot be bound.
    bool start(QByteArray* error);
    // Waits up to `timeout` for `count` sessions to have ended, and hands them over.
    QList<Session> takeSessions(int count, std::chrono::milliseconds timeout);

private:
    using Clock = std::chrono::steady_clock;
    struct Piece {
        Clock::time_point due;
        QByteArray bytes; // empty: the sender's end of stream
    };
    struct Direction {
        int from = -1;
        int to = -1;
        std::deque<Piece> queue;
        bool readClosed = false;  // the sender has finished
        bool writeClosed = false; // its end of stream was passed on
    };
    struct Connection {
        Direction up;   // client to server
        Direction down; // server to client
        Session session;
        QByteArray pendingLine;      // the client's current line, not yet ended
        bool serverSpokeLast = true; // the greeting comes first
        bool done() const { return up.writeClosed && down.writeClosed; }
    };

    void run();
    void accept();
    void read(Connection& connection, Direction& direction);
    void noteClientBytes(Connection& connection, const QByteArray& bytes);
    void flush(Direction& direction, Clock::time_point now);
    int pollTimeoutMs(Clock::time_point now) const;

    QByteArray m_listenAddress;
    quint16 m_listenPort;
    QByteArray m_serverAddress;
    quint16 m_serverPort;
    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    int m_wake[2] = {-1, -1}; // written to stop the thread
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    std::list<std::unique_ptr<Connection>> m_connections;
    std::mutex m_mutex; // guards m_finished
    QList<Session> m_finished;
};
