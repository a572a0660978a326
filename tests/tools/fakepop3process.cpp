// Starting, reading and stopping the fake POP3 server script.
#include "tests/tools/fakepop3process.h"

#include <QElapsedTimer>
#include <csignal>

namespace {

// The server gives up on its own after this, so a failed test leaves nothing behind.
constexpr char kServerDeadlineSeconds[] = "30";

} // namespace

FakePop3Process::~FakePop3Process()
{
    stop();
}

quint16 FakePop3Process::start(int timeoutMs)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral(PYTHON3_PATH),
                    {QStringLiteral(FAKE_POP3_SCRIPT), QLatin1String(kServerDeadlineSeconds)});
    if (!m_process.waitForStarted(timeoutMs))
        return 0;
    QElapsedTimer timer;
    timer.start();
    while (!m_process.canReadLine() && timer.elapsed() < timeoutMs)
        m_process.waitForReadyRead(int(timeoutMs - timer.elapsed()));
    bool ok = false;
    const quint16 port = m_process.readLine().trimmed().toUShort(&ok);
    return ok ? port : 0;
}

QList<QByteArray> FakePop3Process::commands(int timeoutMs)
{
    if (!m_process.waitForFinished(timeoutMs))
        stop();
    m_output += m_process.readAllStandardOutput();
    QList<QByteArray> received;
    for (const QByteArray& line : m_output.split('\n')) {
        if (line.startsWith("C: "))
            received.append(line.sliced(3));
    }
    return received;
}

void FakePop3Process::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(5000);
    m_output += m_process.readAllStandardOutput();
}
