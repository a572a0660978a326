#include "scanner/clamav/clamdaddress.h"

#include <QFile>

namespace scanner {

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
    QString socket = QStringLiteral("/run/clamav/clamd.ctl");
    QFile file(config);
    if (!file.open(QIODevice::ReadOnly)) {
        return socket;
    }
    // clamd.conf holds one "Option value" per line, "#" starting a comment; as in clamd, a later
    // line wins.
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().simplified();
        if (line.startsWith("LocalSocket ")) {
            socket = QFile::decodeName(line.mid(12));
        }
    }
    return socket;
}

} // namespace scanner
