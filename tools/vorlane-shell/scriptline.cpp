// Script lines: tokens, verbs, member references, values.
#include "tools/vorlane-shell/scriptline.h"

#include "tools/vorlane-shell/scriptvalue.h"

namespace vorlaneshell {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The end of the JSON string starting at `start` (one past its closing quote), or -1.
qsizetype stringEnd(QByteArrayView line, qsizetype start)
{
    for (qsizetype i = start + 1; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i + 1;
    }
    return -1;
}

std::optional<Verb> verbOf(const QByteArray& word)
{
    const QByteArray lower = word.toLower();
    if (lower == "create")
        return Verb::Create;
    if (lower == "get")
        return Verb::Get;
    if (lower == "put")
        return Verb::Put;
    if (lower == "call")
        return Verb::Call;
    if (lower == "release")
        return Verb::Release;
    return std::nullopt;
}

// "#" and a DISPID in decimal (with an optional "-") or in 0x hex (its 32-bit pattern).
std::optional<qint32> parseDispid(const QByteArray& text)
{
    bool ok = false;
    const QByteArray lower = text.toLower();
    if (lower.startsWith("0x")) {
        const uint value = lower.sliced(2).toUInt(&ok, 16);
        return ok && lower.size() > 2 && !lower.contains('-') && !lower.contains('+')
                   ? std::optional<qint32>(qint32(value))
                   : std::nullopt;
    }
    const int value = text.toInt(&ok, 10);
    return ok && !text.startsWith('+') ? std::optional<qint32>(value) : std::nullopt;
}

std::optional<MemberRef> parseMember(const QByteArray& token, ShellFailure* failure)
{
    if (!token.startsWith('#'))
        return MemberRef{token, std::nullopt};
    const std::optional<qint32> dispid = parseDispid(token.sliced(1));
    if (!dispid) {
        *failure = syntaxFailure("bad member id " + token + ": expected #DECIMAL or #0xHEX");
        return std::nullopt;
    }
    return MemberRef{token, dispid};
}

ScriptLine invalid(ShellFailure failure)
{
    ScriptLine line;
    line.kind = ScriptLine::Kind::Invalid;
    line.failure = std::move(failure);
    return line;
}

ScriptLine commandLine(ScriptCommand command)
{
    ScriptLine line;
    line.kind = ScriptLine::Kind::Command;
    line.command = std::move(command);
    return line;
}

ScriptLine memberCommand(Verb verb, const QList<QByteArray>& tokens)
{
    if (tokens.size() < 2)
        return invalid(syntaxFailure(tokens.first().toLower() + " needs a member NAME"));
    ShellFailure failure;
    ScriptCommand command;
    command.verb = verb;
    const std::optional<MemberRef> member = parseMember(tokens.at(1), &failure);
    if (!member)
        return invalid(failure);
    command.member = *member;
    for (const QByteArray& token : tokens.sliced(2)) {
        const std::optional<automation::Variant> value = parseScriptValue(token, &failure);
        if (!value)
            return invalid(failure);
        command.values.append(*value);
    }
    return commandLine(std::move(command));
}

} // namespace

std::optional<QList<QByteArray>> splitTokens(QByteArrayView line, ShellFailure* failure)
{
    QList<QByteArray> tokens;
    qsizetype i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        qsizetype end = i;
        if (line[i] == '"') {
            end = stringEnd(line, i);
            if (end < 0) {
                *failure = syntaxFailure("unterminated string " + line.sliced(i).toByteArray());
                return std::nullopt;
            }
            if (end < line.size() && !isBlank(line[end])) {
                *failure = syntaxFailure("text after a string: " + line.sliced(i).toByteArray());
                return std::nullopt;
            }
        } else {
            while (end < line.size() && !isBlank(line[end]))
                ++end;
        }
        tokens.append(line.sliced(i, end - i).toByteArray());
        i = end;
    }
    return tokens;
}

ScriptLine parseScriptLine(QByteArrayView line)
{
    const QByteArrayView trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#'))
        return {};
    ShellFailure failure;
    const std::optional<QList<QByteArray>> tokens = splitTokens(trimmed, &failure);
    if (!tokens)
        return invalid(failure);
    const std::optional<Verb> verb = verbOf(tokens->first());
    if (!verb)
        return invalid(syntaxFailure("unknown command \"" + tokens->first() +
                                     "\": expected create, get, put, call or release"));
    switch (*verb) {
    case Verb::Create:
        if (tokens->size() != 2)
            return invalid(syntaxFailure("create takes one PROGID"));
        return commandLine(ScriptCommand{Verb::Create, tokens->at(1), {}, {}});
    case Verb::Release:
        if (tokens->size() != 1)
            return invalid(syntaxFailure("release takes nothing"));
        return commandLine(ScriptCommand{Verb::Release, {}, {}, {}});
    case Verb::Get:
    case Verb::Put:
    case Verb::Call:
        break;
    }
    return memberCommand(*verb, *tokens);
}

} // namespace vorlaneshell
