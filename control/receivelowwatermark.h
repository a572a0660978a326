// Fewer wake-ups while a bulk transfer streams in: once a check finds a large batch waiting, the
// kernel is asked (SO_RCVLOWAT) to wake the reader only when a quarter megabyte has arrived,
// instead of for every segment. When the reader knows how much is still to come (a message of
// known size), the mark shrinks to that near the end. Whatever a server does, a tail below the
// mark waits at most kFallbackMs: when no batch has come for that long, the mark drops back to
// one byte and the kernel reports what it holds.
#pragma once

#include <QTimer>
#include <QtGlobal>
#include <functional>
#include <optional>

class ReceiveLowWaterMark {
public:
    static constexpr int kMarkBytes = 256 * 1024;
    // A batch this large means the sender outpaces the reader's wake-ups.
    static constexpr qint64 kRaiseAtBytes = 64 * 1024;
    // Below this a mark saves too few wake-ups to be worth a wait.
    static constexpr qint64 kSmallestMarkBytes = 16 * 1024;
    static constexpr int kFallbackMs = 2;

    // `descriptor` gives the connection's socket now, or -1 once it has none.
    explicit ReceiveLowWaterMark(std::function<qintptr()> descriptor);

    // At least `bytes` more are due before the peer waits for the reader; nullopt: not known.
    void expect(std::optional<qint64> bytes);
    // After each check that found `waiting` bytes.
    void noteBatch(qint64 waiting);
    // A new or closed connection: its socket starts at the kernel's default of one byte.
    void reset();
    // The mark in force now; 1 is the kernel's default.
    int markBytes() const { return m_markBytes; }

private:
    int wantedMark() const;
    bool apply(qintptr descriptor, int bytes);
    void lower();
    // Back to the kernel's default, without touching the socket.
    void forget();

    std::function<qintptr()> m_descriptor;
    std::optional<qint64> m_expected;
    qintptr m_raisedOn = -1; // the socket the mark was set on, -1 while it is not raised
    int m_markBytes = 1;     // 1 whenever m_raisedOn is -1
    QTimer m_fallback;
};
