// GUID text: the identities of classes, interfaces and type libraries, written "{XXXXXXXX-...}".
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace automation {

// The canonical form "{8-4-4-4-12}" in upper case, from a GUID with or without braces in any letter
// case; an empty array when the text is not a GUID.
QByteArray normalizedGuid(QByteArrayView text);

// Whether both texts are the same valid GUID, ignoring case and braces.
bool sameGuid(QByteArrayView a, QByteArrayView b);

} // namespace automation
