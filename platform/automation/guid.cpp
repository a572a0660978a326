// GUID text checks.
#include "platform/automation/guid.h"

namespace automation {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool hasGuidShape(QByteArrayView bare)
{
    if (bare.size() != 36)
        return false;
    for (qsizetype i = 0; i < bare.size(); ++i) {
        const bool dashPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (dashPlace ? bare[i] != '-' : !isHexDigit(bare[i]))
            return false;
    }
    return true;
}

} // namespace

QByteArray normalizedGuid(QByteArrayView text)
{
    QByteArrayView bare = text;
    if (bare.startsWith('{') && bare.endsWith('}'))
        bare = bare.sliced(1, bare.size() - 2);
    if (!hasGuidShape(bare))
        return {};
    return '{' + bare.toByteArray().toUpper() + '}';
}

bool sameGuid(QByteArrayView a, QByteArrayView b)
{
    const QByteArray left = normalizedGuid(a);
    return !left.isEmpty() && left == normalizedGuid(b);
}

} // namespace automation
