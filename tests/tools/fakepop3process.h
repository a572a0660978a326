// FakePop3Process: the scripted one-session POP3 server fakepop3.py as a child process, for tests
// that drive the control from another process and so cannot share its event loop.
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>

class FakePop3Process {
public:
    FakePop3Process() = default;
    // Stops the server by its PID if it is still running.
    ~FakePop3Process();
    FakePop3Process(const FakePop3Process&) = delete;
    FakePop3Process& operator=(const FakePop3Process&) = delete;

    // Starts the server and waits (up to timeoutMs) for the port it listens on; 0 on failure.
    quint16 start(int timeoutMs = 10000);

    // Waits for the server to end its session (it exits after QUIT), then returns the commands it
    // received, in order, without their line ends. Stops the server on timeout.
    QList<QByteArray> commands(int timeoutMs = 10000);

    void stop();

private:
    QProcess m_process;
    QByteArray m_output;
};
