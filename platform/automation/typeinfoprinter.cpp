// Text form of type information.
#include "platform/automation/typeinfoprinter.h"

#include <QByteArrayList>

namespace automation {

namespace {

QByteArray hex(quint32 value, int digits)
{
    return "0x" + QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

QByteArray quoted(const char* text)
{
    return '"' + QByteArray(text ? text : "") + '"';
}

QByteArray parameterList(const MemberInfo& member)
{
    QByteArrayList params;
    for (int i = 0; i < member.paramCount; ++i) {
        const ParamInfo& param = member.params[i];
        params << QByteArray(param.byRef ? "byref " : "byval ") + valueTypeName(param.type) + ' ' +
                      param.name;
    }
    return '(' + params.join(", ") + ')';
}

QByteArray flagList(unsigned flags, std::initializer_list<std::pair<unsigned, const char*>> names)
{
    QByteArrayList words;
    for (const auto& [flag, name] : names) {
        if (flags & flag)
            words << name;
    }
    return '[' + words.join(", ") + ']';
}

QByteArray interfaceLine(const InterfaceInfo& info)
{
    const QByteArray flags =
        flagList(info.flags, {{InterfaceFlags::Hidden, "hidden"},
                              {InterfaceFlags::Dual, "dual"},
                              {InterfaceFlags::NonExtensible, "nonextensible"},
                              {InterfaceFlags::DispatchOnly, "dispatch-only"}});
    return "interface " + QByteArray(info.name) + ' ' + info.guid + ' ' + flags + ' ' +
           quoted(info.help) + '\n';
}

QByteArray classLine(const ClassInfo& info)
{
    QByteArray line = "class " + QByteArray(info.name) + ' ' + info.guid + ' ' +
                      flagList(info.flags, {{ClassFlags::Control, "control"}});
    if (info.defaultInterface)
        line += " default " + QByteArray(info.defaultInterface->name);
    if (info.defaultSource)
        line += " source " + QByteArray(info.defaultSource->name);
    return line + '\n';
}

} // namespace

QByteArray printMember(const MemberInfo& member)
{
    QByteArray line =
        hex(quint32(member.dispid), 8) + ' ' + memberKindName(member.kind) + ' ' + member.name;
    if (member.kind == MemberKind::Method || member.paramCount > 0)
        line += parameterList(member);
    if (member.type != ValueType::Void)
        line += QByteArray(" -> ") + valueTypeName(member.type);
    return line + ' ' + quoted(member.help);
}

QByteArray printInterfaceMembers(const InterfaceInfo& info)
{
    QByteArray text;
    for (const MemberInfo& member : info.members)
        text += printMember(member) + '\n';
    return text;
}

QByteArray printTypeLibrary(const TypeLibraryInfo& library)
{
    QByteArray text = "library " + QByteArray(library.name) + ' ' + library.guid + " version " +
                      QByteArray::number(library.major) + '.' + QByteArray::number(library.minor) +
                      " lcid " + hex(library.lcid, 4) + ' ' + quoted(library.help) + '\n';
    for (const InterfaceInfo* info : library.interfaces) {
        text += interfaceLine(*info);
        for (const MemberInfo& member : info->members)
            text += "    " + printMember(member) + '\n';
    }
    for (const ClassInfo* info : library.classes)
        text += classLine(*info);
    return text;
}

} // namespace automation
