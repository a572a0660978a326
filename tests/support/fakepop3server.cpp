#include "tests/support/fakepop3server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

FakePop3Server::FakePop3Server(QObject* parent)
    : FakePop3Server(QStringLiteral("127.0.0.1"), 0, parent)
{
}

FakePop3Server::FakePop3Server(const QString& address, quint16 port, QObject* parent)
    : QObject(parent), m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress(address), port);
    connect(m_server, &QTcpServer::newConnection, this, &FakePop3Server::onNewConnection);
}

bool FakePop3Server::isListening() const
{
    return m_server->isListening();
}

FakePop3Server::~FakePop3Server() = default;

quint16 FakePop3Server::port() const
{
    return m_server->serverPort();
}

QByteArray FakePop3Server::unescape(const QString& text)
{
    const QByteArray in = text.toLatin1();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 >= in.size()) {
            out += in[i];
            continue;
        }
        const char next = in[++i];
        if (next == 'r') {
            out += '\r';
        } else if (next == 'n') {
            out += '\n';
        } else if (next == 'x' && i + 2 < in.size()) {
            out += static_cast<char>(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += next;
        }
    }
    return out;
}

void FakePop3Server::addScriptLine(const QString& raw)
{
    const QString line = raw.trimmed();
    if (line.isEmpty()) {
        return;
    }
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    const QString head = line.left(colon);
    const QString text = line.mid(colon + 1).mid(line.mid(colon + 1).startsWith(' ') ? 1 : 0);
    if (head.startsWith(QLatin1Char('S'))) {
        QList<qsizetype> splits;
        if (head.contains(QLatin1Char('|'))) {
            for (const QString& at : head.mid(2).split(QLatin1Char(','))) {
                splits.append(at.toLongLong());
            }
        }
        send(unescape(text) + "\r\n", splits);
    } else if (head == QLatin1String("C")) {
        expectLine();
    } else if (head == QLatin1String("P")) {
        pause(text.toInt());
    } else if (head == QLatin1String("X")) {
        closeConnection();
    } else if (head == QLatin1String("H")) {
        hold();
    }
}

FakePop3Server& FakePop3Server::script(const QString& lines)
{
    for (const QString& line : lines.split(QLatin1Char('\n'))) {
        addScriptLine(line);
    }
    return *this;
}

FakePop3Server& FakePop3Server::send(const QByteArray& bytes, const QList<qsizetype>& splits,
                                     int pauseMs)
{
    qsizetype from = 0;
    for (qsizetype at : splits) {
        if (at > from && at < bytes.size()) {
            m_steps.append(Step{Step::Send, bytes.mid(from, at - from), 0});
            m_steps.append(Step{Step::Pause, {}, pauseMs});
            from = at;
        }
    }
    m_steps.append(Step{Step::Send, bytes.mid(from), 0});
    return *this;
}

FakePop3Server& FakePop3Server::sendBytewise(const QByteArray& bytes, int pauseMs)
{
    QList<qsizetype> splits;
    for (qsizetype i = 1; i < bytes.size(); ++i) {
        splits.append(i);
    }
    return send(bytes, splits, pauseMs);
}

FakePop3Server& FakePop3Server::expectLine()
{
    m_steps.append(Step{Step::Expect, {}, 0});
    return *this;
}

FakePop3Server& FakePop3Server::pause(int ms)
{
    m_steps.append(Step{Step::Pause, {}, ms});
    return *this;
}

FakePop3Server& FakePop3Server::closeConnection()
{
    m_steps.append(Step{Step::Close, {}, 0});
    return *this;
}

FakePop3Server& FakePop3Server::hold()
{
    m_steps.append(Step{Step::Hold, {}, 0});
    return *this;
}

void FakePop3Server::dropClient()
{
    if (m_client) {
        m_client->abort();
    }
}

bool FakePop3Server::scriptFinished() const
{
    return m_next >= m_steps.size();
}

void FakePop3Server::onNewConnection()
{
    QTcpSocket* socket = m_server->nextPendingConnection();
    ++m_connectionCount;
    if (m_client) {
        socket->abort(); // one scripted client at a time
        socket->deleteLater();
        return;
    }
    m_client = socket;
    connect(m_client, &QTcpSocket::readyRead, this, &FakePop3Server::onReadyRead);
    runSteps();
}

void FakePop3Server::onReadyRead()
{
    m_input += m_client->readAll();
    takeLines();
    if (m_waiting && !m_pendingLines.isEmpty()) {
        m_waiting = false;
        m_received.append(m_pendingLines.takeFirst());
        ++m_next;
        runSteps();
    }
}

void FakePop3Server::takeLines()
{
    for (qsizetype end = m_input.indexOf("\r\n"); end >= 0; end = m_input.indexOf("\r\n")) {
        m_pendingLines.append(m_input.left(end));
        m_input.remove(0, end + 2);
    }
}

void FakePop3Server::runSteps()
{
    while (m_client && m_next < m_steps.size()) {
        const Step& step = m_steps[m_next];
        switch (step.kind) {
        case Step::Send:
            m_client->write(step.bytes);
            m_client->flush();
            ++m_next;
            break;
        case Step::Expect:
            if (m_pendingLines.isEmpty()) {
                m_waiting = true;
                return;
            }
            m_received.append(m_pendingLines.takeFirst());
            ++m_next;
            break;
        case Step::Pause:
            ++m_next;
            QTimer::singleShot(step.ms, this, &FakePop3Server::runSteps);
            return;
        case Step::Close:
            ++m_next;
            m_client->disconnectFromHost();
            return;
        case Step::Hold:
            return;
        }
    }
}
