#include "tests/support/clamdserver.h"

#include "tests/support/testmail.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

ClamdServer::ClamdServer(const QStringList& settings, const QByteArray& database,
                         const QString& databaseFolder)
{
    const QString dir = m_folder.path();
    QString signatures = databaseFolder;
    if (signatures.isEmpty()) {
        signatures = dir + QStringLiteral("/db");
        QDir().mkpath(signatures);
        writeFile(signatures + QStringLiteral("/test.hdb"),
                  database.isEmpty() ? testmail::eicarHashDatabase("Orsel.Test.EICAR") : database);
    }
    QStringList config = {QStringLiteral("Foreground yes"),
                          QStringLiteral("LocalSocket ") + socket(),
                          QStringLiteral("DatabaseDirectory ") + signatures,
                          QStringLiteral("PidFile ") + dir + QStringLiteral("/clamd.pid"),
                          QStringLiteral("LogFile ") + dir + QStringLiteral("/clamd.log")};
    if (::geteuid() == 0) {
        config.append(QStringLiteral("User root")); // else it would switch to the clamav user
    }
    writeFile(this->config(), (config + settings).join('\n').toUtf8() + '\n');
    m_clamd.setProgram(QStringLiteral("/usr/sbin/clamd"));
    m_clamd.setArguments({QStringLiteral("-c"), this->config()});
    m_clamd.setProcessChannelMode(QProcess::MergedChannels);
}

ClamdServer::~ClamdServer()
{
    kill();
}

bool ClamdServer::start(QString* why, int limitMs)
{
    m_clamd.start();
    if (!m_clamd.waitForStarted(10000)) {
        *why = QStringLiteral("/usr/sbin/clamd did not start (Debian package clamav-daemon): ") +
               m_clamd.errorString();
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (!answersPing()) {
        // Waiting on its end, not sleeping: a clamd that fails its configuration ends at once.
        if (m_clamd.waitForFinished(50) || timer.elapsed() > limitMs) {
            *why = QStringLiteral("clamd did not answer PING: ") +
                   QString::fromLocal8Bit(m_clamd.readAll());
            kill();
            return false;
        }
    }
    return true;
}

bool ClamdServer::answersPing()
{
    QLocalSocket socket;
    socket.connectToServer(this->socket());
    if (!socket.waitForConnected(1000)) {
        return false;
    }
    socket.write(QByteArray("zPING", 6));
    QByteArray answer;
    while (socket.waitForReadyRead(2000)) {
        answer += socket.readAll();
    }
    return (answer + socket.readAll()) == QByteArray("PONG", 5);
}

void ClamdServer::kill()
{
    if (m_clamd.state() != QProcess::NotRunning) {
        m_clamd.kill(); // by its PID
        m_clamd.waitForFinished(10000);
    }
}

DescriptorlessRelay::DescriptorlessRelay(const QString& target)
    : m_socket(m_folder.filePath(QStringLiteral("relay.sock")))
{
    m_relay.start(QStringLiteral(SOCKETRELAY_PATH), {m_socket, target});
    if (!m_relay.waitForStarted(5000)) {
        return;
    }
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(m_socket)) {
        if (m_relay.waitForFinished(20) || timer.elapsed() > 10000) {
            return;
        }
    }
    m_listening = true;
}

DescriptorlessRelay::~DescriptorlessRelay()
{
    if (m_relay.state() != QProcess::NotRunning) {
        m_relay.kill(); // by its PID
        m_relay.waitForFinished(5000);
    }
}
