#include "scanner/clamav/clamdconfig.h"

#include "platform/regularfile.h"

#include <QFile>

namespace scanner {
namespace {

// clamd.conf holds one "Option value" per line, "#" starting a comment; as in clamd, a later
// line wins. Empty when the file or the option is missing.
QByteArray optionValue(const QString& config, const QByteArray& option)
{
    QFile file;
    QString reason;
    if (!platform::openRegularFile(file, config, &reason)) {
        return {}; // a FIFO in its place must not hang the start
    }
    QByteArray value;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().simplified();
        if (line.startsWith(option + ' ')) {
            value = line.mid(option.size() + 1);
        }
    }
    return value;
}

} // namespace

std::optional<QString> clamdSocketNamed(const QString& setting, const QString& config)
{
    if (setting == QLatin1String("clamd")) {
        return systemClamdSocket(config);
    }
    if (setting.startsWith(QLatin1String("clamd:"))) {
        return setting.mid(6);
    }
    return std::nullopt;
}

QString systemClamdSocket(const QString& config)
{
    const QByteArray socket = optionValue(config, "LocalSocket");
    return socket.isEmpty() ? QStringLiteral("/run/clamav/clamd.ctl") : QFile::decodeName(socket);
}

bool clamdReportsLimits(const QString& config)
{
    const QByteArray value = optionValue(config, "AlertExceedsMax").toLower();
    return value == "yes" || value == "true" || value == "1";
}

} // namespace scanner
