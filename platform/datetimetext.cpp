#include "platform/datetimetext.h"

#include <QDateTime>

namespace platform {

QByteArray localDateTimeText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}

} // namespace platform
