#include "tests/faults/rechunkingproxy.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QScopedValueRollback>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace {

// A flood is produced only as fast as the client takes it, so the proxy never holds more than
// this much of it; the test's memory then shows the control's share alone.
constexpr qint64 kFloodBlock = 64 * 1024;
constexpr qint64 kFloodWindow = 4 * kFloodBlock;
// Long enough for the client, which pumps its event loop while it waits, to read the first part
// of a split read on its own.
constexpr int kSplitPauseMs = 2;

} // namespace

RechunkingProxy::RechunkingProxy(const QString& serverAddress, quint16 serverPort, Cut cut,
                                 quint32 seed, QObject* parent)
    : QObject(parent), m_listener(new QTcpServer(this)), m_pacer(new QTimer(this)),
      m_serverAddress(serverAddress), m_serverPort(serverPort), m_cut(cut), m_random(seed)
{
    m_pacer->setSingleShot(true);
    m_pacer->setTimerType(Qt::PreciseTimer);
    connect(m_pacer, &QTimer::timeout, this, &RechunkingProxy::writeSome);
    connect(m_listener, &QTcpServer::newConnection, this, &RechunkingProxy::onNewConnection);
    m_listener->listen(QHostAddress::LocalHost, 0);
}

RechunkingProxy::~RechunkingProxy()
{
    // Plain aborts: no signal of a dying proxy may reach a test that is being torn down.
    for (QTcpSocket* socket : {m_client, m_server}) {
        if (socket) {
            socket->disconnect(this);
            socket->abort();
        }
    }
}

quint16 RechunkingProxy::port() const
{
    return m_listener->isListening() ? m_listener->serverPort() : 0;
}

qint64 RechunkingProxy::nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid()) {
        clock.start();
    }
    return clock.elapsed();
}

bool RechunkingProxy::sessionOver() const
{
    const auto closed = [](const QTcpSocket* socket) {
        return !socket || socket->state() == QAbstractSocket::UnconnectedState;
    };
    return m_sessionAccepted && closed(m_client) && closed(m_server);
}

void RechunkingProxy::startSilenceWatch()
{
    m_lastWireEventMs = nowMs();
    m_longestSilenceMs = 0;
}

qint64 RechunkingProxy::longestSilenceMs() const
{
    return std::max(m_longestSilenceMs, nowMs() - m_lastWireEventMs);
}

void RechunkingProxy::noteWireEvent()
{
    const qint64 now = nowMs();
    m_longestSilenceMs = std::max(m_longestSilenceMs, now - m_lastWireEventMs);
    m_lastWireEventMs = now;
}

void RechunkingProxy::onNewConnection()
{
    QTcpSocket* incoming = m_listener->nextPendingConnection();
    if (m_sessionAccepted) {
        incoming->abort(); // one session per proxy keeps every test's wire log unambiguous
        incoming->deleteLater();
        return;
    }
    m_sessionAccepted = true;
    m_client = incoming;
    m_server = new QTcpSocket(this);
    // Without these, Nagle's algorithm would glue the pieces back together on the wire.
    m_client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_server->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_client, &QTcpSocket::readyRead, this, &RechunkingProxy::onClientReadyRead);
    connect(m_client, &QTcpSocket::bytesWritten, this, &RechunkingProxy::writeSome);
    connect(m_client, &QTcpSocket::disconnected, this, &RechunkingProxy::onClientClosed);
    connect(m_server, &QTcpSocket::readyRead, this, &RechunkingProxy::onServerReadyRead);
    connect(m_server, &QTcpSocket::disconnected, this, &RechunkingProxy::onServerClosed);
    m_server->connectToHost(m_serverAddress, m_serverPort);
    m_lastWriteToClientMs = nowMs();
    noteWireEvent();
    if (m_faultState == FaultState::Armed && m_fault.trigger.isEmpty()) {
        m_faultReply.start(false);
        startFault();
    }
}

void RechunkingProxy::onClientReadyRead()
{
    const QByteArray bytes = m_client->readAll();
    noteWireEvent();
    if (m_server->state() != QAbstractSocket::UnconnectedState) {
        m_server->write(bytes);
        m_server->flush();
    }
    m_clientInput += bytes;
    for (qsizetype end = m_clientInput.indexOf("\r\n"); end >= 0;
         end = m_clientInput.indexOf("\r\n")) {
        const QByteArray line = m_clientInput.left(end);
        m_clientInput.remove(0, end + 2);
        takeCommandLine(line);
    }
}

void RechunkingProxy::takeCommandLine(const QByteArray& line)
{
    m_commands.append(line.toUpper().startsWith("PASS ") ? QByteArray("PASS ****") : line);
    if (m_faultState == FaultState::Armed && !m_fault.trigger.isEmpty() &&
        line.startsWith(m_fault.trigger)) {
        m_faultReply.start(ReplyFramer::isMultiLineCommand(line));
        startFault();
    }
}

void RechunkingProxy::startFault()
{
    m_faultState = FaultState::Active;
    m_faultPassed = 0;
    if (m_fault.kind == Fault::Kind::Replace) {
        enqueue(Item{m_fault.bytes, 0, false});
        if (m_fault.floodBytes > 0) {
            enqueue(Item{{}, m_fault.floodBytes, false});
        }
    }
    const bool cutsAtOnce =
        m_fault.kind == Fault::Kind::CloseAfter || m_fault.kind == Fault::Kind::StallAfter;
    if (cutsAtOnce && m_fault.passBytes == 0) {
        passFaultReply({});
    }
}

void RechunkingProxy::onServerReadyRead()
{
    const QByteArray bytes = m_server->readAll();
    if (m_serverSilenced) {
        return;
    }
    if (m_faultState == FaultState::Active) {
        passFaultReply(bytes);
    } else {
        passServerBytes(bytes);
    }
}

void RechunkingProxy::passFaultReply(const QByteArray& bytes)
{
    const qsizetype inReply = m_faultReply.feed(bytes);
    const QByteArray reply = bytes.left(inReply);
    const QByteArray after = bytes.mid(inReply);
    switch (m_fault.kind) {
    case Fault::Kind::Replace:
        break; // the reply is dropped; its replacement is queued already
    case Fault::Kind::AppendAfterReply:
        // In the same write as the reply's end, so the client finds both in one read.
        enqueue(Item{m_faultReply.finished() ? reply + m_fault.bytes : reply, 0, false});
        break;
    case Fault::Kind::CloseAfter:
    case Fault::Kind::StallAfter: {
        const qint64 take = std::min<qint64>(m_fault.passBytes - m_faultPassed, reply.size());
        passServerBytes(reply.left(take));
        m_faultPassed += take;
        if (m_faultPassed < m_fault.passBytes && !m_faultReply.finished()) {
            return;
        }
        m_serverSilenced = true;
        m_faultState = FaultState::Done;
        if (m_fault.kind == Fault::Kind::CloseAfter) {
            enqueue(Item{{}, 0, true});
        }
        return;
    }
    }
    if (m_faultReply.finished()) {
        m_faultState = FaultState::Done;
        passServerBytes(after);
    }
}

void RechunkingProxy::passServerBytes(QByteArray bytes)
{
    if (!bytes.isEmpty()) {
        enqueue(Item{std::move(bytes), 0, false});
    }
}

void RechunkingProxy::onServerClosed()
{
    // The server's close reaches the client after everything it sent before it.
    if (!m_serverSilenced) {
        enqueue(Item{{}, 0, true});
    }
}

void RechunkingProxy::onClientClosed()
{
    m_queue.clear();
    m_pacer->stop();
    if (m_server) {
        m_server->abort();
    }
}

void RechunkingProxy::enqueue(Item item)
{
    m_queue.append(std::move(item));
    writeSome();
}

void RechunkingProxy::writeSome()
{
    // flush() can emit bytesWritten, which calls here again while an item is being written.
    if (!m_client || m_pacer->isActive() || m_writing) {
        return;
    }
    const QScopedValueRollback writing(m_writing, true);
    const bool paced = m_cut != Cut::None;
    while (!m_queue.isEmpty()) {
        Item& item = m_queue.first();
        if (item.close) {
            m_queue.removeFirst();
            closeBoth();
            return;
        }
        if (item.flood > 0) {
            if (m_client->bytesToWrite() >= kFloodWindow) {
                return; // bytesWritten calls again
            }
            const qint64 block = std::min(item.flood, kFloodBlock);
            writeToClient(QByteArray(block, 'A'));
            item.flood -= block;
        } else {
            writeToClient(paced ? nextPiece(item) : item.bytes);
            item.written = paced ? item.written : item.bytes.size();
        }
        if (item.flood == 0 && item.written >= item.bytes.size()) {
            m_queue.removeFirst();
        }
        if (paced && !m_queue.isEmpty()) {
            m_pacer->start(m_cut == Cut::BeforeLast1To4 ? kSplitPauseMs : 0);
            return;
        }
    }
}

QByteArray RechunkingProxy::nextPiece(Item& item)
{
    const qsizetype left = item.bytes.size() - item.written;
    qsizetype length = left;
    if (m_cut == Cut::Pieces1To7) {
        length = std::uniform_int_distribution<qsizetype>(1, 7)(m_random);
    } else if (item.written == 0 && left > 1) {
        const auto last = std::uniform_int_distribution<qsizetype>(1, 4)(m_random);
        length = left - std::min(last, left - 1);
    }
    const QByteArray piece = item.bytes.mid(item.written, length);
    item.written += piece.size();
    return piece;
}

void RechunkingProxy::writeToClient(const QByteArray& bytes)
{
    if (bytes.isEmpty() || m_client->state() != QAbstractSocket::ConnectedState) {
        return;
    }
    m_client->write(bytes);
    m_client->flush();
    m_lastWriteToClientMs = nowMs();
    ++m_writesToClient;
    noteWireEvent();
}

void RechunkingProxy::closeBoth()
{
    m_queue.clear();
    m_client->disconnectFromHost(); // after what is still buffered for it
    m_server->abort();
}
