#include "tests/faults/replyframer.h"

#include <QByteArrayList>

namespace {

constexpr QByteArrayView kLineEnd = "\r\n";
constexpr QByteArrayView kBodyEnd = "\r\n.\r\n";

} // namespace

bool ReplyFramer::isMultiLineCommand(QByteArrayView command)
{
    const QByteArrayList words = command.toByteArray().toUpper().split(' ');
    const QByteArray& verb = words.first();
    if (verb == "RETR" || verb == "TOP" || verb == "CAPA") {
        return true;
    }
    // UIDL and LIST list the whole mailbox only without an argument.
    return (verb == "UIDL" || verb == "LIST") && words.size() == 1;
}

void ReplyFramer::start(bool multiLine)
{
    m_multiLine = multiLine;
    m_statusDone = false;
    m_finished = false;
    m_statusStart.clear();
    m_tail.clear();
}

qsizetype ReplyFramer::feedStatusLine(QByteArrayView bytes)
{
    const QByteArray window = m_tail + bytes.toByteArray();
    const qsizetype lineEnd = window.indexOf(kLineEnd);
    if (m_statusStart.size() < 4) {
        m_statusStart += bytes.first(std::min<qsizetype>(bytes.size(), 4 - m_statusStart.size()));
    }
    if (lineEnd < 0) {
        m_tail = window.right(1); // a CR whose LF comes with the next read
        return bytes.size();
    }
    m_statusDone = true;
    const qsizetype used = lineEnd + kLineEnd.size() - m_tail.size();
    if (!m_multiLine || m_statusStart.startsWith("-ERR")) {
        m_finished = true;
    }
    // The status line's own CR LF begins the end marker of an empty body.
    m_tail = kLineEnd.toByteArray();
    return used;
}

qsizetype ReplyFramer::feed(QByteArrayView bytes)
{
    if (m_finished) {
        return 0;
    }
    qsizetype used = 0;
    if (!m_statusDone) {
        used = feedStatusLine(bytes);
        if (m_finished || !m_statusDone) {
            return used;
        }
    }
    const QByteArray window = m_tail + bytes.sliced(used).toByteArray();
    const qsizetype end = window.indexOf(kBodyEnd);
    if (end >= 0) {
        m_finished = true;
        return used + end + kBodyEnd.size() - m_tail.size();
    }
    m_tail = window.right(kBodyEnd.size() - 1);
    return bytes.size();
}
