#include "scanner/connectionsecurity.h"

#include <algorithm>
#include <iterator>

namespace {

struct Mode {
    ConnectionSecurity security;
    const char* word;
    qint32 port;
};

// In the order the texts list them.
constexpr Mode kModes[] = {
    {ConnectionSecurity::None, "none", kPop3Port},
    {ConnectionSecurity::StartTls, "starttls", kPop3Port},
    {ConnectionSecurity::Tls, "tls", kPop3sPort},
};

const Mode& modeOf(ConnectionSecurity security)
{
    return *std::find_if(std::begin(kModes), std::end(kModes),
                         [security](const Mode& mode) { return mode.security == security; });
}

} // namespace

QString securityWord(ConnectionSecurity security)
{
    return QString::fromLatin1(modeOf(security).word);
}

std::optional<ConnectionSecurity> securityNamed(const QString& word)
{
    for (const Mode& mode : kModes) {
        if (word == QLatin1String(mode.word)) {
            return mode.security;
        }
    }
    return std::nullopt;
}

qint32 securityPort(ConnectionSecurity security)
{
    return modeOf(security).port;
}

QString securityWordList()
{
    return QStringLiteral("%1, %2 or %3")
        .arg(securityWord(ConnectionSecurity::None), securityWord(ConnectionSecurity::StartTls),
             securityWord(ConnectionSecurity::Tls));
}
