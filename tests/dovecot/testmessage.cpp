// Test messages and their wire form.
#include "tests/dovecot/testmessage.h"

#include "tests/dovecot/dovecoterror.h"

#include <QString>

namespace dovecot {
namespace {

constexpr qsizetype longestLine = 76;

// Line content of exactly `length` bytes, never CR, LF or NUL. The kinds rotate so that every
// message of a few lines has dot-leading lines (which the server must stuff) and 8-bit bytes.
QByteArray bodyLine(int index, qsizetype length)
{
    static const QByteArray text = "The quick brown fox jumps over the lazy dog 0123456789 ";
    QByteArray line;
    switch (index % 4) {
    case 0:
        line = ".";
        break;
    case 1:
        line = "..";
        break;
    case 2:
        for (qsizetype i = 0; i < length; ++i) {
            line += char(0x80 + (index * 7 + i) % 0x80);
        }
        break;
    default:
        break;
    }
    while (line.size() < length) {
        line += text.at((index + line.size()) % text.size());
    }
    return line.left(length);
}

} // namespace

QByteArray makeMessage(const QByteArrayList& headerLines, const QByteArray& body)
{
    QByteArray message;
    for (const QByteArray& header : headerLines) {
        message += header + '\n';
    }
    return message + '\n' + body;
}

QByteArray makeMessageOfSize(qint64 size, int seed)
{
    const QByteArray tag = QByteArray::number(size) + '-' + QByteArray::number(seed);
    QByteArray padding;
    QByteArray message;
    QByteArray body;
    qint64 left = 0;
    // A stored line of n bytes costs n + 2 in LIST. One octet left over cannot be a line; it
    // goes into a header instead.
    for (;;) {
        message = makeMessage({"From: Sender <sender@example.test>", "To: user@example.test",
                               "Subject: Message of " + tag + " octets",
                               "Message-ID: <" + tag + "@vorlane.test>", "X-Pad: x" + padding},
                              {});
        left = size - pop3Size(message);
        if (left < 0) {
            throw DovecotError(
                QStringLiteral("A generated message cannot be as small as %1 octets").arg(size));
        }
        if (left != 1) {
            break;
        }
        padding += 'x';
    }
    for (int index = seed; left > 0; ++index) {
        qsizetype length = std::min<qint64>(longestLine, left - 2);
        if (left - (length + 2) == 1) {
            --length;
        }
        body += bodyLine(index, length) + '\n';
        left -= length + 2;
    }
    return message + body;
}

qint64 pop3Size(const QByteArray& stored)
{
    qint64 size = stored.size();
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored.at(i) == '\n' && (i == 0 || stored.at(i - 1) != '\r')) {
            ++size;
        }
    }
    return size;
}

QByteArray pop3Body(const QByteArray& stored)
{
    QByteArray wire;
    bool lineStart = true;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const char c = stored.at(i);
        if (lineStart && c == '.') {
            wire += '.';
        }
        if (c == '\n' && (i == 0 || stored.at(i - 1) != '\r')) {
            wire += '\r';
        }
        wire += c;
        lineStart = c == '\n';
    }
    if (wire.endsWith("\r\n")) {
        wire.chop(2);
    }
    return wire;
}

} // namespace dovecot
