// A scripting session: create, get, put, call, release.
#include "tools/vorlane-shell/shellsession.h"

#include "platform/automation/connectionpoint.h"
#include "platform/automation/createobject.h"
#include "tools/vorlane-shell/resultline.h"

using automation::MemberKind;
using automation::RuntimeError;

namespace vorlaneshell {

namespace {

MemberKind kindOf(Verb verb)
{
    switch (verb) {
    case Verb::Get:
        return MemberKind::PropertyGet;
    case Verb::Put:
        return MemberKind::PropertyPut;
    default:
        return MemberKind::Method;
    }
}

// Whether a method declares a result: a method without one answers plain {"ok":true}.
bool hasResult(const automation::Dispatch& object, qint32 dispid)
{
    const automation::MemberInfo* member =
        automation::findMember(object.interfaceInfo(), dispid, MemberKind::Method);
    return member && member->type != automation::ValueType::Void;
}

} // namespace

ShellSession::ShellSession(LineOutput output) : m_output(output), m_events(std::move(output)) {}

ShellSession::~ShellSession()
{
    release();
}

void ShellSession::runLine(QByteArrayView line)
{
    const ScriptLine parsed = parseScriptLine(line);
    switch (parsed.kind) {
    case ScriptLine::Kind::Skip:
        return;
    case ScriptLine::Kind::Invalid:
        m_output(failureLine(parsed.failure));
        return;
    case ScriptLine::Kind::Command:
        m_output(run(parsed.command));
        return;
    }
}

QByteArray ShellSession::run(const ScriptCommand& command)
{
    switch (command.verb) {
    case Verb::Create:
        return create(command.progId);
    case Verb::Release:
        release();
        return successLine(std::nullopt);
    case Verb::Get:
    case Verb::Put:
    case Verb::Call:
        break;
    }
    return invoke(command);
}

QByteArray ShellSession::create(const QByteArray& progId)
{
    // Like assigning a new object to a variable: the old one goes first.
    release();
    RuntimeError error = RuntimeError::None;
    QByteArray description;
    m_object = automation::createObject(progId, &error, &description);
    if (!m_object)
        return failureLine(ShellFailure::of(error, description));
    if (automation::ConnectionPoint* point = m_object->connectionPoint()) {
        m_events.setEvents(&point->events());
        point->advise(&m_events);
    }
    return successLine(std::nullopt);
}

QByteArray ShellSession::invoke(const ScriptCommand& command)
{
    if (!m_object)
        return failureLine({kObjectNotSet, "Object variable not set: create an object first"});
    const std::optional<qint32> dispid =
        command.member.dispid ? command.member.dispid : m_object->idOfName(command.member.name);
    if (!dispid)
        return failureLine(ShellFailure::of(RuntimeError::ObjectDoesntSupport));
    QList<automation::Variant> args = command.values;
    const automation::CallResult result = m_object->invoke(
        *dispid, kindOf(command.verb), std::span<automation::Variant>(args.data(), args.size()));
    if (!result.ok())
        return failureLine(ShellFailure::of(result.error, result.description));
    switch (command.verb) {
    case Verb::Get:
        return successLine(result.value);
    case Verb::Call:
        return successLine(
            hasResult(*m_object, *dispid) ? std::optional(result.value) : std::nullopt, args);
    default:
        return successLine(std::nullopt);
    }
}

void ShellSession::release()
{
    if (!m_object)
        return;
    // The sink must not outlive its advice, and someone else may still hold the object.
    if (automation::ConnectionPoint* point = m_object->connectionPoint())
        point->unadvise();
    m_events.setEvents(nullptr);
    m_object.reset();
}

} // namespace vorlaneshell
