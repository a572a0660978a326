// The header lines at the start of a message as it streams into its file, so that RETR alone
// gives what TOP n 0 would: the header lines up to and including the CR LF of the last one. The
// capture is bounded; larger headers are left to TOP.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

class HeaderCapture {
public:
    // Headers beyond this are rare enough to cost a TOP; the bound keeps memory flat whatever the
    // message holds.
    static constexpr qsizetype kLimit = 64 * 1024;

    // A new message: its first body byte comes next.
    void start();
    // Not capturing (the headers are known already, or the transfer is over).
    void stop();
    bool capturing() const { return m_state == State::Capturing; }

    // The message's bytes in order, in pieces of any size (dot-stuffed as the server sent them,
    // as TOP gives them too).
    void take(QByteArrayView bytes);

    // Once the message has ended: its headers trimmed of spaces as a TOP reply is, or nothing when
    // they were larger than kLimit or nothing was captured. A message without an empty line is
    // all headers, as TOP n 0 sends it.
    std::optional<QByteArray> finish();

private:
    enum class State { Off, Capturing, Complete, Overflowed };

    State m_state = State::Off;
    QByteArray m_text;
};
