#include "scanner/absentmessage.h"

#include "platform/regularfile.h"

namespace absentmessage {

QByteArray substituteId(const QByteArray& user, const QByteArray& host, qint32 number)
{
    return user + ':' + host + ':' + QByteArray::number(number);
}

bool fileIsMarker(const QString& path)
{
    QString reason;
    const std::optional<QByteArray> content =
        platform::readRegularFile(path, sizeof kMarker - 1, &reason);
    return content && *content == kMarker;
}

} // namespace absentmessage
