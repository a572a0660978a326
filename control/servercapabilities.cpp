#include "control/servercapabilities.h"

#include "control/replyparser.h"

void ServerCapabilities::clear()
{
    m_known = false;
    m_lines.clear();
}

void ServerCapabilities::take(const QByteArray& capaReply)
{
    clear();
    if (!replyparser::isPositive(capaReply)) {
        return;
    }
    m_known = true;
    const qsizetype lineEnd = capaReply.indexOf("\r\n");
    if (lineEnd < 0) {
        return; // "+OK" and no lines: a server with nothing to offer
    }
    m_lines = capaReply.sliced(lineEnd + 2).split('\n');
    for (QByteArray& line : m_lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
}

QByteArray ServerCapabilities::lineOf(QByteArrayView tag) const
{
    for (const QByteArray& line : m_lines) {
        const qsizetype space = line.indexOf(' ');
        const QByteArrayView word =
            space < 0 ? QByteArrayView(line) : QByteArrayView(line).first(space);
        if (word.compare(tag, Qt::CaseInsensitive) == 0) {
            return line;
        }
    }
    return {};
}

bool ServerCapabilities::hasArgument(QByteArrayView tag, QByteArrayView argument) const
{
    const QByteArrayList words = lineOf(tag).split(' ');
    for (qsizetype i = 1; i < words.size(); ++i) {
        if (QByteArrayView(words[i]).compare(argument, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}
