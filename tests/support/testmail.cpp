// Builds MIME mail for tests at test time.
#include "tests/support/testmail.h"

#include <QCryptographicHash>
#include <QProcess>

namespace testmail {

QByteArray eicar()
{
    return QByteArray("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") + "EICAR-STANDARD-ANTIVIRUS" +
           "-TEST-FILE!$H+H*";
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    for (qsizetype at = 0; at < encoded.size(); at += 76) {
        out += encoded.mid(at, 76) + "\r\n";
    }
    return out;
}

QByteArray quotedPrintable(const QByteArray& data, int width)
{
    QByteArray out;
    int column = 0;
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = byte >= 33 && byte <= 126 && byte != '=';
        const QByteArray encoded =
            plain ? QByteArray(1, c)
                  : "=" + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        if (column + encoded.size() > width) {
            out += "=\r\n";
            column = 0;
        }
        out += encoded;
        column += int(encoded.size());
    }
    return out + "\r\n";
}

QByteArray uuencode(const QByteArray& name, const QByteArray& data)
{
    const auto character = [](int six) { return char(six == 0 ? '`' : six + 32); };
    QByteArray out = "begin 644 " + name + "\r\n";
    for (qsizetype at = 0; at < data.size(); at += 45) {
        const QByteArray chunk = data.mid(at, 45);
        out += char(32 + chunk.size());
        for (qsizetype i = 0; i < chunk.size(); i += 3) {
            const auto byte = [&](qsizetype k) {
                return k < chunk.size() ? static_cast<unsigned char>(chunk[k]) : 0;
            };
            const int triple = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
            for (int shift = 18; shift >= 0; shift -= 6) {
                out += character((triple >> shift) & 63);
            }
        }
        out += "\r\n";
    }
    return out + "`\r\nend\r\n";
}

QByteArray part(const QList<QByteArray>& headers, const QByteArray& body)
{
    QByteArray out;
    for (const QByteArray& header : headers) {
        out += header + "\r\n";
    }
    return out + "\r\n" + body;
}

QByteArray base64Attachment(const QByteArray& fileName, const QByteArray& type,
                            const QByteArray& data)
{
    return part({"Content-Type: " + type + "; name=\"" + fileName + "\"",
                 "Content-Transfer-Encoding: base64",
                 "Content-Disposition: attachment; filename=\"" + fileName + "\""},
                base64Lines(data));
}

QByteArray multipart(const QByteArray& subtype, const QByteArray& boundary,
                     const QList<QByteArray>& parts, bool closed)
{
    QByteArray out = "Content-Type: multipart/" + subtype + "; boundary=\"" + boundary +
                     "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n";
    for (const QByteArray& p : parts) {
        out += "--" + boundary + "\r\n" + p;
        if (!p.endsWith("\r\n")) {
            out += "\r\n";
        }
    }
    return closed ? out + "--" + boundary + "--\r\n" : out;
}

QByteArray message(const QByteArray& subject, const QByteArray& entity)
{
    return "From: sender@example.org\r\nTo: bob@example.org\r\nSubject: " + subject +
           "\r\nMIME-Version: 1.0\r\n" + entity;
}

QByteArray attachedMessage(const QByteArray& inner)
{
    return part({"Content-Type: message/rfc822", "Content-Disposition: attachment"}, inner);
}

namespace {

// Python's zipfile module writes the zips; the member's data comes on standard input.
QByteArray zipWithPython(const QString& body, const QStringList& arguments, const QByteArray& data)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 QStringList{QStringLiteral("-c"),
                             QStringLiteral("import io, sys, zipfile\n"
                                            "def zipped(members):\n"
                                            "    out = io.BytesIO()\n"
                                            "    with zipfile.ZipFile(out, 'w', "
                                            "zipfile.ZIP_DEFLATED) as z:\n"
                                            "        for name, content in members:\n"
                                            "            z.writestr(name, content)\n"
                                            "    return out.getvalue()\n"
                                            "data = sys.stdin.buffer.read()\n") +
                                 body + QStringLiteral("sys.stdout.buffer.write(result)\n")} +
                     arguments);
    python.write(data);
    python.closeWriteChannel();
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        python.kill();
        python.waitForFinished();
        return {};
    }
    return python.readAllStandardOutput();
}

} // namespace

QByteArray deflatedZip(const QByteArray& memberName, const QByteArray& data)
{
    return zipWithPython(QStringLiteral("result = zipped([(sys.argv[1], data)])\n"),
                         {QString::fromUtf8(memberName)}, data);
}

QByteArray nestedZip(const QByteArray& memberName, const QByteArray& data, int levels)
{
    return zipWithPython(QStringLiteral("result = zipped([(sys.argv[1], data)])\n"
                                        "for level in range(int(sys.argv[2])):\n"
                                        "    result = zipped([('level%d.zip' % level, result)])\n"),
                         {QString::fromUtf8(memberName), QString::number(levels)}, data);
}

QByteArray zipAfterEmptyMembers(int count, const QByteArray& memberName, const QByteArray& data)
{
    return zipWithPython(
        QStringLiteral("empty = [('empty%05d.txt' % i, b'') for i in range(int(sys.argv[2]))]\n"
                       "result = zipped(empty + [(sys.argv[1], data)])\n"),
        {QString::fromUtf8(memberName), QString::number(count)}, data);
}

QByteArray eicarHashDatabase(const QByteArray& signatureName)
{
    const QByteArray text = eicar();
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex() + ":" +
           QByteArray::number(text.size()) + ":" + signatureName + "\n";
}

} // namespace testmail
