// vorlane-host HOST PORT USER PASS: one POP3 session through the installed control, created by
// its ProgID and called late-bound. Prints the message count and the first message's subject.
#include "platform/automation/conversions.h"
#include "platform/automation/createobject.h"

#include <QCoreApplication>
#include <cstdio>

#ifndef VORLANE_PROGID
#define VORLANE_PROGID "Vorlanecontrol.Vorlane"
#endif

using automation::Dispatch;
using automation::MemberKind;
using automation::Variant;

namespace {

Variant member(Dispatch& object, const char* name, MemberKind kind, std::span<Variant> args = {})
{
    const automation::CallResult result = object.invoke(*object.idOfName(name), kind, args);
    if (!result.ok()) {
        std::fprintf(stderr, "vorlane-host: %s: %s\n", name, result.description.constData());
        std::exit(3);
    }
    return result.value;
}

QByteArray text(Dispatch& object, const char* name)
{
    return automation::toString(member(object, name, MemberKind::PropertyGet)).value;
}

// The control reports protocol failures in Error and ErrorText, not as the call's error.
void check(Dispatch& object, const char* step)
{
    if (text(object, "Error") != "0") {
        std::fprintf(stderr, "vorlane-host: %s: %s\n", step, text(object, "ErrorText").constData());
        std::exit(1);
    }
}

void put(Dispatch& object, const char* name, const char* value)
{
    Variant args[] = {Variant::fromString(value)};
    member(object, name, MemberKind::PropertyPut, args);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: vorlane-host HOST PORT USER PASS\n");
        return 2;
    }
    automation::RuntimeError error;
    QByteArray why;
    const automation::Ref<Dispatch> pop = automation::createObject(VORLANE_PROGID, &error, &why);
    if (!pop) {
        std::fprintf(stderr, "vorlane-host: cannot create %s: %s\n", VORLANE_PROGID,
                     why.constData());
        return 2;
    }
    put(*pop, "POPHostname", argv[1]);
    put(*pop, "POPPort", argv[2]);
    put(*pop, "POPUsername", argv[3]);
    put(*pop, "POPPassword", argv[4]);
    member(*pop, "Connect", MemberKind::Method);
    check(*pop, "Connect");
    std::printf("version %s\n", text(*pop, "Version").constData());
    std::printf("count %s\n", text(*pop, "MsgCount").constData());
    Variant first[] = {Variant::fromInt16(1)};
    member(*pop, "SetCurrentMsg", MemberKind::Method, first);
    check(*pop, "SetCurrentMsg");
    std::printf("subject %s\n", text(*pop, "MsgSubject").constData());
    member(*pop, "Disconnect", MemberKind::Method);
    check(*pop, "Disconnect");
    return 0;
}
