// GMime behind a module boundary: the program loads the decoded check's parts from its module
// Orsel01mime.so at the first message that check looks at, so that a run without it loads no
// GMime and no GLib.
#pragma once

#include "scanner/definitioncheck/messageparts.h"

namespace scanner {

class MimeKit {
public:
    // GMime's parts of the message file (see EncodedParts).
    virtual std::unique_ptr<MessageParts> openEncodedParts(const QString& messagePath) const = 0;
    // A header value as people read it (see headerText()).
    virtual QString headerText(const QByteArray& raw, qsizetype maximumLength) const = 0;

protected:
    ~MimeKit() = default;
};

inline constexpr char kMimeKitModule[] = "Orsel01mime.so";
inline constexpr char kMimeKitEntryPoint[] = "OrselMimeKit";

} // namespace scanner
