#include "control/vorlaneobject.h"

#include "control/readonlynotice.h"
#include "control/vorlaneinterface.h"
#include "control/vorlanewidgets.h"
#include "platform/automation/memberbinding.h"
#include "platform/automation/propertybag.h"
#include "platform/automation/runtimeerror.h"

using automation::CallResult;
using automation::MemberKind;
using automation::Variant;
namespace id = vorlaneinterface;

namespace {

QByteArray version(const Vorlane&)
{
    return Vorlane::Version();
}

// The put of a read-only property: it tells the user so, whatever it was given.
void showVersionIsReadOnly(Vorlane&, const QByteArray&)
{
    showReadOnlyNotice("Property is Read-only");
}

[[noreturn]] void refuseValue()
{
    throw ControlFault{
        int(automation::RuntimeError::InvalidProcedureCall),
        automation::runtimeErrorText(automation::RuntimeError::InvalidProcedureCall)};
}

// Security levels other than none, STLS and TLS fail the put and change nothing.
void setSecurity(Vorlane& control, qint16 value)
{
    if (!Vorlane::isValidSecurity(value)) {
        refuseValue();
    }
    control.setPOPSecurity(value);
}

// So do sign-in methods other than the four.
void setAuthentication(Vorlane& control, qint16 value)
{
    if (!Vorlane::isValidAuthentication(value)) {
        refuseValue();
    }
    control.setPOPAuthentication(value);
}

using automation::bindGet;
using automation::bindMethod;
using automation::bindPut;

// Each member of _Vorlane and the accessor that serves it; the value types are those of the
// interface table, checked against each accessor's signature at every call.
const automation::MemberBinding<Vorlane> kBindings[] = {
    bindGet<&Vorlane::Status>(id::Status),
    bindGet<&Vorlane::StatusText>(id::StatusText),
    bindGet<&Vorlane::Error>(id::Error),
    bindGet<&Vorlane::ErrorText>(id::ErrorText),
    bindGet<&Vorlane::POPHostname>(id::POPHostname),
    bindPut<&Vorlane::setPOPHostname>(id::POPHostname),
    bindGet<&Vorlane::POPPort>(id::POPPort),
    bindPut<&Vorlane::setPOPPort>(id::POPPort),
    bindGet<&Vorlane::POPUsername>(id::POPUsername),
    bindPut<&Vorlane::setPOPUsername>(id::POPUsername),
    bindGet<&Vorlane::POPPassword>(id::POPPassword),
    bindPut<&Vorlane::setPOPPassword>(id::POPPassword),
    bindGet<&Vorlane::ConnectResponse>(id::ConnectResponse),
    bindGet<&Vorlane::POPTimeout>(id::POPTimeout),
    bindPut<&Vorlane::setPOPTimeout>(id::POPTimeout),
    bindGet<&Vorlane::MsgCount>(id::MsgCount),
    bindGet<&Vorlane::MsgNumber>(id::MsgNumber),
    bindGet<&Vorlane::MsgUniqueID>(id::MsgUniqueID),
    bindGet<&Vorlane::MsgHeaders>(id::MsgHeaders),
    bindGet<&Vorlane::MsgSubject>(id::MsgSubject),
    bindGet<&Vorlane::MsgFrom>(id::MsgFrom),
    bindGet<&Vorlane::MsgReturnPath>(id::MsgReturnPath),
    bindGet<&Vorlane::MsgReplyTo>(id::MsgReplyTo),
    bindGet<&Vorlane::MsgDate>(id::MsgDate),
    bindGet<&Vorlane::MsgContents>(id::MsgContents),
    bindGet<&Vorlane::MsgSizeInK>(id::MsgSizeInK),
    bindGet<&version>(id::Version),
    bindPut<&showVersionIsReadOnly>(id::Version),
    bindGet<&Vorlane::DebugMode>(id::DebugMode),
    bindPut<&Vorlane::setDebugMode>(id::DebugMode),
    bindGet<&Vorlane::DebugFile>(id::DebugFile),
    bindPut<&Vorlane::setDebugFile>(id::DebugFile),
    bindGet<&Vorlane::POPSecurity>(id::POPSecurity),
    bindPut<&setSecurity>(id::POPSecurity),
    bindGet<&Vorlane::POPCAFile>(id::POPCAFile),
    bindPut<&Vorlane::setPOPCAFile>(id::POPCAFile),
    bindGet<&Vorlane::SecureConnectionInfo>(id::SecureConnectionInfo),
    bindGet<&Vorlane::POPFewerRoundTrips>(id::POPFewerRoundTrips),
    bindPut<&Vorlane::setPOPFewerRoundTrips>(id::POPFewerRoundTrips),
    bindGet<&Vorlane::UniqueIDList>(id::UniqueIDList),
    bindGet<&Vorlane::POPAuthentication>(id::POPAuthentication),
    bindPut<&setAuthentication>(id::POPAuthentication),
    bindGet<&Vorlane::ServerCapabilities>(id::ServerCapabilities),
    bindMethod<&Vorlane::Connect>(id::Connect),
    bindMethod<&Vorlane::Disconnect>(id::Disconnect),
    bindMethod<&Vorlane::ResetDeletedMsgs>(id::ResetDeletedMsgs),
    bindMethod<&Vorlane::DeleteCurrentMsg>(id::DeleteCurrentMsg),
    bindMethod<&Vorlane::GetOtherHeader>(id::GetOtherHeader),
    bindMethod<&Vorlane::GetStringValueOfProperty>(id::GetStringValueOfProperty),
    bindMethod<&Vorlane::SetCurrentMsg>(id::SetCurrentMsg),
    bindMethod<&Vorlane::RetrieveCurrentMsg>(id::RetrieveCurrentMsg),
    bindMethod<&Vorlane::WriteCurrentMsgToFile>(id::WriteCurrentMsgToFile),
};

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
    // By reference: what the sink writes comes back (the total is the control's own MsgSizeInK).
    m_events.raiseTyped(id::kMsgReadStatus, readK, totalK, percent);
}

CallResult VorlaneObject::invokeMember(const automation::MemberInfo& member,
                                       std::span<Variant> args)
{
    try {
        return automation::callBinding<Vorlane>(kBindings, member, m_control, args);
    } catch (const ControlFault& fault) {
        return CallResult::failure(automation::ErrorNumber::of(fault.number), fault.description);
    }
}

bool VorlaneObject::putIgnoresValue(qint32 dispid) const
{
    return dispid == id::Version;
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
        const CallResult result = put(kPersisted[i], bag.read(kKeys[i]));
        if (!result.ok()) {
            return result;
        }
    }
    // Saved before the extensions existed: these keep their defaults when absent.
    constexpr qint32 kExtensionPersisted[] = {id::POPSecurity, id::POPCAFile,
                                              id::POPFewerRoundTrips, id::POPAuthentication};
    constexpr const char* kExtensionKeys[] = {"POPSecurity", "POPCAFile", "POPFewerRoundTrips",
                                              "POPAuthentication"};
    for (std::size_t i = 0; i < std::size(kExtensionKeys); ++i) {
        const Variant stored = bag.read(kExtensionKeys[i]);
        if (stored.isEmpty()) {
            continue;
        }
        const CallResult result = put(kExtensionPersisted[i], stored);
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
    if (c.POPFewerRoundTrips()) {
        bag.write("POPFewerRoundTrips", Variant::fromBool(true));
    }
    if (c.POPAuthentication() != Vorlane::AuthenticationUserPass) {
        bag.write("POPAuthentication", Variant::fromInt16(c.POPAuthentication()));
    }
}

QSize VorlaneObject::resize(QSize)
{
    return QSize(kFacePixels, kFacePixels);
}

QWidget* VorlaneObject::createFace(QWidget* parent)
{
    const VorlaneWidgets* widgets = vorlaneWidgets();
    return widgets ? widgets->createFace(parent) : nullptr;
}

QByteArrayList VorlaneObject::propertyPages() const
{
    return {id::kPropertyPageClass.guid};
}
