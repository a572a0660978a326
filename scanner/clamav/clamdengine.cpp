#include "scanner/clamav/clamdengine.h"

#include "platform/clock.h"
#include "platform/pump.h"
#include "platform/regularfile.h"
#include "scanner/clamav/clamdreply.h"

#include <QFile>
#include <algorithm>

namespace scanner {
namespace {

using Outcome = ClamdRequest::Outcome;

// A reply to FILDES that is about the command, not about a file ("No file descriptor received.
// ERROR" from a daemon behind a relay, "UNKNOWN COMMAND" from one without it): the descriptor
// did not arrive, so nothing was scanned.
bool refusesDescriptors(const ClamdRequest::Result& result)
{
    if (result.outcome != Outcome::Answered || result.replies.size() != 1) {
        return false;
    }
    const ClamdReply reply = parseClamdReply(result.replies.first());
    return reply.kind == ClamdReply::Kind::Error && reply.subject.isEmpty();
}

} // namespace

ClamdEngine::ClamdEngine(QString socket, Limits limits)
    : m_socket(std::move(socket)), m_limits(limits)
{
}

bool ClamdEngine::connect(QString* error)
{
    const ClamdRequest::Limits limits{m_limits.connectMs, m_limits.answerMs};
    const auto fail = [&](const QString& why) {
        *error = QStringLiteral("Cannot use the ClamAV daemon at %1: %2").arg(m_socket, why);
        return false;
    };
    const ClamdRequest::Result ping = ClamdRequest::command(m_socket, "PING", limits);
    if (ping.outcome != Outcome::Answered) {
        return fail(ping.reason);
    }
    if (ping.replies != QByteArrayList{"PONG"}) {
        return fail(QStringLiteral("it answered \"%1\" to PING")
                        .arg(QString::fromUtf8(ping.replies.join(' '))));
    }
    const ClamdRequest::Result version = ClamdRequest::command(m_socket, "VERSION", limits);
    if (version.outcome != Outcome::Answered) {
        return fail(version.reason);
    }
    m_version = version.replies.join(' ');
    return true;
}

ClamAvVerdict ClamdEngine::scanFile(const QString& path)
{
    for (;;) {
        const ClamdRequest::Result result = scanOnce(path);
        switch (result.outcome) {
        case Outcome::Answered:
            m_goneSinceMs = -1;
            return verdictOf(result);
        case Outcome::Silent:
        case Outcome::Failed:
            return notChecked(QStringLiteral("The ClamAV daemon at %1 did not check it: %2")
                                  .arg(m_socket, result.reason));
        case Outcome::Unreachable:
        case Outcome::WentAway:
            break;
        }
        const qint64 now = platform::monotonicMilliseconds();
        if (m_goneSinceMs < 0) {
            m_goneSinceMs = now;
        }
        const qint64 remaining = m_goneSinceMs + m_limits.retryMs - now;
        if (remaining <= 0) {
            return notChecked(
                QStringLiteral("The ClamAV daemon at %1 went away (%2) and did not "
                               "come back within %3")
                    .arg(m_socket, result.reason, ClamdRequest::limitText(m_limits.retryMs)));
        }
        pauseBeforeRetry(remaining);
    }
}

ClamdRequest::Result ClamdEngine::scanOnce(const QString& path)
{
    QFile file;
    QString reason;
    if (!platform::openRegularFile(file, path, &reason)) {
        return {
            Outcome::Failed, {}, QStringLiteral("cannot open the saved message: %1").arg(reason)};
    }
    const ClamdRequest::Limits limits{m_limits.connectMs, m_limits.scanMs};
    if (!m_streamOnly) {
        const ClamdRequest::Result result =
            ClamdRequest::descriptor(m_socket, file.handle(), limits);
        if (!refusesDescriptors(result)) {
            return result;
        }
        m_streamOnly = true;
    }
    return ClamdRequest::stream(m_socket, file, limits);
}

ClamAvVerdict ClamdEngine::verdictOf(const ClamdRequest::Result& result) const
{
    ClamAvVerdict verdict;
    for (const QByteArray& record : result.replies) {
        const ClamdReply reply = parseClamdReply(record);
        if (reply.kind == ClamdReply::Kind::Found) {
            verdict.add({reply.text, {}});
        } else if (reply.kind == ClamdReply::Kind::Error && verdict.notFullyChecked.isEmpty()) {
            verdict.notFullyChecked = QStringLiteral("The ClamAV daemon at %1 answered \"%2\"")
                                          .arg(m_socket, QString::fromUtf8(reply.text));
        }
    }
    return verdict;
}

ClamAvVerdict ClamdEngine::notChecked(const QString& reason) const
{
    ClamAvVerdict verdict;
    verdict.notFullyChecked = reason;
    return verdict;
}

void ClamdEngine::pauseBeforeRetry(qint64 remainingMs) const
{
    const qint64 end =
        platform::monotonicMilliseconds() + std::min<qint64>(remainingMs, m_limits.retryPauseMs);
    while (platform::monotonicMilliseconds() < end) {
        platform::pumpEvents();
    }
}

QByteArray ClamdEngine::fingerprint() const
{
    return "daemon=" + QFile::encodeName(m_socket) + ";version=" + m_version;
}

bool ClamdEngine::answersPing(const QString& socket, int limitMs)
{
    const ClamdRequest::Result ping =
        ClamdRequest::command(socket, "PING", {std::min(limitMs, 5000), limitMs});
    return ping.outcome == Outcome::Answered && ping.replies == QByteArrayList{"PONG"};
}

} // namespace scanner
