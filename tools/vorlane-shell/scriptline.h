// One line of a vorlane-shell script, read into a command.
#pragma once

#include "platform/automation/variant.h"
#include "tools/vorlane-shell/shellfailure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

namespace vorlaneshell {

enum class Verb { Create, Get, Put, Call, Release };

// A member by name (looked up on the object, any letter case) or by id ("#0x68030017", "#12").
struct MemberRef {
    QByteArray name;
    std::optional<qint32> dispid;
};

struct ScriptCommand {
    Verb verb = Verb::Release;
    QByteArray progId;                 // create
    MemberRef member;                  // get, put, call
    QList<automation::Variant> values; // get, put, call: the arguments, a put's value last
};

struct ScriptLine {
    enum class Kind { Skip, Command, Invalid };
    Kind kind = Kind::Skip;
    ScriptCommand command; // Command
    ShellFailure failure;  // Invalid
};

// Reads one line (without its line end):
//   create PROGID | get NAME [VALUE...] | put NAME VALUE | call NAME [VALUE...] | release
// Blank lines and lines whose first non-blank character is "#" are skipped. Tokens are separated
// by spaces or tabs; a JSON string is one token even with spaces inside. The verb matches in any
// letter case. How many values a member takes is the object's business: a wrong count reaches it
// and it answers with its own error. Errors: a syntax failure (5) naming the problem, or what
// parseScriptValue reports.
ScriptLine parseScriptLine(QByteArrayView line);

// The tokens of a line, or nothing with `*failure` set for an unterminated string or text glued
// to a string's closing quote.
std::optional<QList<QByteArray>> splitTokens(QByteArrayView line, ShellFailure* failure);

} // namespace vorlaneshell
