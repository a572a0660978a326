#include "control/vorlaneobject.h"

#include "control/readonlynotice.h"
#include "control/vorlaneface.h"
#include "control/vorlaneinterface.h"
#include "platform/automation/conversions.h"
#include "platform/automation/propertybag.h"

using automation::CallResult;
using automation::MemberKind;
using automation::RuntimeError;
using automation::Variant;
namespace id = vorlaneinterface;

namespace {

constexpr const char* kReadOnly = "Property is Read-only";

CallResult fault(const ControlFault& fault)
{
    return CallResult::failure(static_cast<RuntimeError>(fault.number), fault.description);
}

template <class T> CallResult conversionFailure(const automation::Converted<T>& converted)
{
    return CallResult::failure(converted.error);
}

} // namespace

automation::ModuleUsage& vorlaneModuleUsage()
{
    static automation::ModuleUsage usage;
    return usage;
}

VorlaneObject::VorlaneObject() : m_events(id::kVorlaneEvents)
{
    m_control.setMsgReadStatusHandler([this](qint32& readK, qint32& totalK, qint16& percent) {
        raiseMsgReadStatus(readK, totalK, percent);
    });
}

VorlaneObject::~VorlaneObject()
{
    terminate();
}

const automation::InterfaceInfo& VorlaneObject::interfaceInfo() const
{
    return id::kVorlaneInterface;
}

void VorlaneObject::terminate()
{
    m_control.traceLifecycle("start usercontrol_terminate");
    if (m_control.Status() != 0) {
        m_control.traceLifecycle("intpropertystatus <> 0, is =" +
                                 QByteArray::number(m_control.Status()));
        // Through the object's own interface, as a host would call it.
        const CallResult result = invoke(id::Disconnect, MemberKind::Method, {});
        if (!result.ok()) {
            return;
        }
    }
    m_control.traceLifecycle("end usercontrol_terminate");
}

void VorlaneObject::raiseMsgReadStatus(qint32& readK, qint32& totalK, qint16& percent)
{
    Variant args[] = {Variant::fromInt32(readK), Variant::fromInt32(totalK),
                      Variant::fromInt16(percent)};
    m_events.raise(id::kMsgReadStatus, args);
    // The arguments are by reference: what the sink wrote comes back (the total is the control's
    // own MsgSizeInK). A value the sink made unconvertible leaves the old one.
    if (const auto read = automation::toInt32(args[0]); read.ok()) {
        readK = read.value;
    }
    if (const auto total = automation::toInt32(args[1]); total.ok()) {
        totalK = total.value;
    }
    if (const auto done = automation::toInt16(args[2]); done.ok()) {
        percent = done.value;
    }
}

CallResult VorlaneObject::invokeMember(const automation::MemberInfo& member,
                                       std::span<Variant> args)
{
    try {
        switch (member.kind) {
        case MemberKind::PropertyGet:
            return getProperty(member.dispid);
        case MemberKind::PropertyPut:
            return putProperty(member.dispid, args.back());
        case MemberKind::Method:
            return callMethod(member.dispid, args);
        }
    } catch (const ControlFault& f) {
        return fault(f);
    }
    return CallResult::failure(RuntimeError::ObjectDoesntSupport);
}

CallResult VorlaneObject::getProperty(qint32 dispid)
{
    Vorlane& c = m_control;
    switch (dispid) {
    case id::Status:
        return CallResult::success(Variant::fromInt16(c.Status()));
    case id::StatusText:
        return CallResult::success(Variant::fromString(c.StatusText()));
    case id::Error:
        return CallResult::success(Variant::fromInt16(c.Error()));
    case id::ErrorText:
        return CallResult::success(Variant::fromString(c.ErrorText()));
    case id::POPHostname:
        return CallResult::success(Variant::fromString(c.POPHostname()));
    case id::POPPort:
        return CallResult::success(Variant::fromInt32(c.POPPort()));
    case id::POPUsername:
        return CallResult::success(Variant::fromString(c.POPUsername()));
    case id::POPPassword:
        return CallResult::success(Variant::fromString(c.POPPassword()));
    case id::ConnectResponse:
        return CallResult::success(Variant::fromString(c.ConnectResponse()));
    case id::POPTimeout:
        return CallResult::success(Variant::fromInt16(c.POPTimeout()));
    case id::MsgCount:
        return CallResult::success(Variant::fromInt32(c.MsgCount()));
    case id::MsgNumber:
        return CallResult::success(Variant::fromInt16(c.MsgNumber()));
    case id::MsgUniqueID:
        return CallResult::success(Variant::fromString(c.MsgUniqueID()));
    case id::MsgHeaders:
        return CallResult::success(Variant::fromString(c.MsgHeaders()));
    case id::MsgSubject:
        return CallResult::success(Variant::fromString(c.MsgSubject()));
    case id::MsgFrom:
        return CallResult::success(Variant::fromString(c.MsgFrom()));
    case id::MsgReturnPath:
        return CallResult::success(Variant::fromString(c.MsgReturnPath()));
    case id::MsgReplyTo:
        return CallResult::success(Variant::fromString(c.MsgReplyTo()));
    case id::MsgDate:
        return CallResult::success(Variant::fromString(c.MsgDate()));
    case id::MsgContents:
        return CallResult::success(Variant::fromString(c.MsgContents()));
    case id::MsgSizeInK:
        return CallResult::success(Variant::fromInt32(c.MsgSizeInK()));
    case id::Version:
        return CallResult::success(Variant::fromString(Vorlane::Version()));
    case id::DebugMode:
        return CallResult::success(Variant::fromBool(c.DebugMode()));
    case id::DebugFile:
        return CallResult::success(Variant::fromString(c.DebugFile()));
    case id::POPSecurity:
        return CallResult::success(Variant::fromInt16(c.POPSecurity()));
    case id::POPCAFile:
        return CallResult::success(Variant::fromString(c.POPCAFile()));
    case id::SecureConnectionInfo:
        return CallResult::success(Variant::fromString(c.SecureConnectionInfo()));
    }
    return CallResult::failure(RuntimeError::ObjectDoesntSupport);
}

CallResult VorlaneObject::putProperty(qint32 dispid, const Variant& value)
{
    Vorlane& c = m_control;
    // Convert first: a value that cannot be converted fails the put and changes nothing.
    switch (dispid) {
    case id::POPHostname:
    case id::POPUsername:
    case id::POPPassword:
    case id::POPCAFile:
    case id::DebugFile: {
        const auto text = automation::toString(value);
        if (!text.ok()) {
            return conversionFailure(text);
        }
        if (dispid == id::POPHostname) {
            c.setPOPHostname(text.value);
        } else if (dispid == id::POPUsername) {
            c.setPOPUsername(text.value);
        } else if (dispid == id::POPPassword) {
            c.setPOPPassword(text.value);
        } else if (dispid == id::POPCAFile) {
            c.setPOPCAFile(text.value);
        } else {
            c.setDebugFile(text.value);
        }
        return CallResult::success();
    }
    case id::POPPort: {
        const auto port = automation::toInt32(value);
        if (!port.ok()) {
            return conversionFailure(port);
        }
        c.setPOPPort(port.value);
        return CallResult::success();
    }
    case id::POPTimeout: {
        const auto timeout = automation::toInt16(value);
        if (!timeout.ok()) {
            return conversionFailure(timeout);
        }
        c.setPOPTimeout(timeout.value);
        return CallResult::success();
    }
    case id::POPSecurity: {
        const auto security = automation::toInt16(value);
        if (!security.ok()) {
            return conversionFailure(security);
        }
        if (!Vorlane::isValidSecurity(security.value)) {
            return CallResult::failure(RuntimeError::InvalidProcedureCall);
        }
        c.setPOPSecurity(security.value);
        return CallResult::success();
    }
    case id::DebugMode: {
        const auto on = automation::toBool(value);
        if (!on.ok()) {
            return conversionFailure(on);
        }
        c.setDebugMode(on.value);
        return CallResult::success();
    }
    case id::Version:
        showReadOnlyNotice(kReadOnly);
        return CallResult::success();
    }
    return CallResult::failure(RuntimeError::ObjectDoesntSupport);
}

CallResult VorlaneObject::callMethod(qint32 dispid, std::span<Variant> args)
{
    Vorlane& c = m_control;
    switch (dispid) {
    case id::Connect:
        c.Connect();
        return CallResult::success();
    case id::Disconnect:
        c.Disconnect();
        return CallResult::success();
    case id::ResetDeletedMsgs:
        c.ResetDeletedMsgs();
        return CallResult::success();
    case id::DeleteCurrentMsg:
        c.DeleteCurrentMsg();
        return CallResult::success();
    case id::RetrieveCurrentMsg:
        c.RetrieveCurrentMsg();
        return CallResult::success();
    case id::GetOtherHeader: {
        const auto name = automation::toString(args[0]);
        if (!name.ok()) {
            return conversionFailure(name);
        }
        return CallResult::success(Variant::fromString(c.GetOtherHeader(name.value)));
    }
    case id::GetStringValueOfProperty: {
        const auto name = automation::toString(args[0]);
        if (!name.ok()) {
            return conversionFailure(name);
        }
        return CallResult::success(Variant::fromString(c.GetStringValueOfProperty(name.value)));
    }
    case id::SetCurrentMsg: {
        const auto number = automation::toInt16(args[0]);
        if (!number.ok()) {
            return conversionFailure(number);
        }
        qint16 selected = number.value;
        c.SetCurrentMsg(selected);
        args[0] = Variant::fromInt16(selected); // by reference: 0 comes back as the number
        return CallResult::success();
    }
    case id::WriteCurrentMsgToFile: {
        const auto path = automation::toString(args[0]);
        if (!path.ok()) {
            return conversionFailure(path);
        }
        QByteArray file = path.value;
        c.WriteCurrentMsgToFile(file);
        args[0] = Variant::fromString(file);
        return CallResult::success();
    }
    }
    return CallResult::failure(RuntimeError::ObjectDoesntSupport);
}

void VorlaneObject::initProperties()
{
    m_control.InitProperties();
}

CallResult VorlaneObject::readProperties(const automation::PropertyBag& bag)
{
    // Through the same puts a host would use, so the conversions are the same.
    constexpr qint32 kPersisted[] = {id::POPHostname, id::POPPort, id::POPUsername, id::POPPassword,
                                     id::POPTimeout};
    constexpr const char* kKeys[] = {"POPHostname", "POPPort", "POPUsername", "POPPassword",
                                     "POPTimeout"};
    for (std::size_t i = 0; i < std::size(kKeys); ++i) {
        const CallResult result = putProperty(kPersisted[i], bag.read(kKeys[i]));
        if (!result.ok()) {
            return result;
        }
    }
    // Saved before secure connections existed: these two keep their defaults when absent.
    constexpr qint32 kSecurityPersisted[] = {id::POPSecurity, id::POPCAFile};
    constexpr const char* kSecurityKeys[] = {"POPSecurity", "POPCAFile"};
    for (std::size_t i = 0; i < std::size(kSecurityKeys); ++i) {
        const Variant stored = bag.read(kSecurityKeys[i]);
        if (stored.isEmpty()) {
            continue;
        }
        const CallResult result = putProperty(kSecurityPersisted[i], stored);
        if (!result.ok()) {
            return result;
        }
    }
    return CallResult::success();
}

void VorlaneObject::writeProperties(automation::PropertyBag& bag) const
{
    const Vorlane& c = m_control;
    bag.write("POPHostname", Variant::fromString(c.POPHostname()));
    bag.write("POPPort", Variant::fromInt32(c.POPPort()));
    bag.write("POPUsername", Variant::fromString(c.POPUsername()));
    bag.write("POPPassword", Variant::fromString(c.POPPassword()));
    bag.write("POPTimeout", Variant::fromInt16(c.POPTimeout()));
    // Only once security is in use, so that a plain control saves exactly its five keys.
    if (c.POPSecurity() != Vorlane::SecurityNone || !c.POPCAFile().isEmpty()) {
        bag.write("POPSecurity", Variant::fromInt16(c.POPSecurity()));
        bag.write("POPCAFile", Variant::fromString(c.POPCAFile()));
    }
}

QSize VorlaneObject::resize(QSize)
{
    return QSize(kFacePixels, kFacePixels);
}

QWidget* VorlaneObject::createFace(QWidget* parent)
{
    return new VorlaneFace(parent);
}

QByteArrayList VorlaneObject::propertyPages() const
{
    return {id::kPropertyPageClass.guid};
}
