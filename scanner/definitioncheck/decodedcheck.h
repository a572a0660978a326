// The decoded check: the MIME parts of a saved message that travel encoded (base64,
// quoted-printable, uuencode) are decoded and matched against the same definitions as the raw file.
#pragma once

#include "scanner/definitioncheck/checkresult.h"

#include <QString>

namespace scanner {

class DefinitionSet;
class MessageParts;

// Hit texts of decoded lines are cut to this many bytes: a decoded text without CRs is one line,
// and a hit in it must not bring a whole attachment into memory.
constexpr qsizetype kDecodedLineLimit = 64 * 1024;

// Runs after definitions.check() of the same message, with the definitions that check read, and
// follows its rules (same containment rule, same line ends). Each hit has the definition line as
// D and, as M, the part's file name (or its content type when it has none), ": " and the decoded
// line. Hits come grouped by definition line in file order; within one, by part in file order
// and then by line. Each part is decoded as a stream, twice when it has hits: memory stays at
// about one read block whatever the attachment's size.
// Malformed MIME is no error: whatever GMime can make of it is checked. Errors (ok false, no
// hits): the message file cannot be opened, or reading it fails.
// `parts` are those of the message at `messagePath` (named in errors).
CheckResult checkDecodedParts(const DefinitionSet& definitions, const MessageParts& parts,
                              const QString& messagePath);

// The same with GMime linked in (the library decodedparts): the message's parts found right here.
// The program loads GMime as a module instead (see MimeKit).
CheckResult checkDecodedParts(const DefinitionSet& definitions, const QString& messagePath);

} // namespace scanner
