// A header value as people read it: encoded words (RFC 2047) decoded, folded lines joined,
// control characters gone.
#pragma once

#include <QByteArray>
#include <QString>

namespace scanner {

// `raw` as the server sent it (bytes of any charset). At most `maximumLength` characters; a
// longer text ends in "...".
QString headerText(const QByteArray& raw, qsizetype maximumLength);

} // namespace scanner
