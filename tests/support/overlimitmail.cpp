#include "tests/support/overlimitmail.h"

#include "tests/support/testmail.h"

#include <QFile>

namespace testmail {
namespace {

QString write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() ? path
                                                                                    : QString();
}

QByteArray zipMail(const QByteArray& subject, const QByteArray& fileName, const QByteArray& zip)
{
    return message(subject, multipart("mixed", "z",
                                      {part({"Content-Type: text/plain"}, "See attachment.\r\n"),
                                       base64Attachment(fileName, "application/zip", zip)}));
}

// The zipped EICAR first, then a part of `bytes` that the file holds as a hole.
QString writeBigMail(const QString& path, qint64 bytes)
{
    const QByteArray head =
        message("big", multipart("mixed", "big",
                                 {base64Attachment("eicar.zip", "application/zip",
                                                   deflatedZip("eicar.com", eicar())),
                                  "Content-Type: application/octet-stream\r\n\r\n"},
                                 false));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size() ||
        !file.resize(head.size() + bytes) || !file.seek(file.size()) ||
        file.write("\r\n--big--\r\n") != 11) {
        return {};
    }
    return path;
}

} // namespace

std::vector<OverLimitMessage> writeOverLimitMessages(const QString& folder)
{
    const QByteArray nested = nestedZip("eicar.com", eicar(), 20);
    const QByteArray crowded = zipAfterEmptyMembers(10000 + 1, "eicar.com", eicar());
    if (nested.isEmpty() || crowded.isEmpty()) {
        return {};
    }
    return {
        {write(folder + QStringLiteral("/nested.txt"), zipMail("nested", "nested.zip", nested)),
         "MaxRecursion"},
        {write(folder + QStringLiteral("/crowded.txt"), zipMail("crowded", "many.zip", crowded)),
         "MaxFiles"},
        {writeBigMail(folder + QStringLiteral("/big.txt"), 120 * 1024 * 1024), "MaxFileSize"},
    };
}

} // namespace testmail
