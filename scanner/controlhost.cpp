#include "scanner/controlhost.h"

#include "platform/automation/connectionpoint.h"
#include "platform/automation/conversions.h"
#include "platform/automation/createobject.h"
#include "platform/automation/embeddedcontrol.h"
#include "platform/automation/memorypropertybag.h"
#include "scanner/connectionsecurity.h"
#include "scanner/vorlanemembers.h"

using automation::Variant;

namespace {

// The settings the window stored for its control at design time.
automation::MemoryPropertyBag designTimeSettings()
{
    automation::MemoryPropertyBag bag;
    bag.write("POPHostname", Variant::fromString(""));
    bag.write("POPPort", Variant::fromInt32(kPop3Port));
    bag.write("POPUsername", Variant::fromString(""));
    bag.write("POPPassword", Variant::fromString(""));
    bag.write("POPTimeout", Variant::fromInt16(10));
    return bag;
}

[[noreturn]] void fail(const automation::CallResult& result)
{
    throw RuntimeFault{static_cast<int>(result.error), QString::fromUtf8(result.description)};
}

} // namespace

ControlHost::ControlHost()
{
    automation::RuntimeError error{};
    QByteArray description;
    m_control = automation::createObject(vorlanemembers::kProgId, &error, &description);
    if (!m_control) {
        throw RuntimeFault{static_cast<int>(error), QString::fromUtf8(description)};
    }
    if (automation::EmbeddedControl* embedded = m_control->embeddedControl()) {
        const automation::CallResult restored = embedded->readProperties(designTimeSettings());
        if (!restored.ok()) {
            fail(restored);
        }
    }
    if (automation::ConnectionPoint* events = m_control->connectionPoint()) {
        events->advise(this);
    }
}

ControlHost::~ControlHost()
{
    if (m_control && m_control->connectionPoint()) {
        m_control->connectionPoint()->unadvise();
    }
}

void ControlHost::invoke(qint32 dispid, std::span<Variant> args)
{
    if (dispid == vorlanemembers::MsgReadStatus && args.size() == 3 && m_progress) {
        const auto percent = automation::toInt16(args[2]);
        if (percent.ok()) {
            m_progress(percent.value);
        }
    }
}

Variant ControlHost::get(qint32 dispid)
{
    const automation::CallResult result = m_control->get(dispid);
    if (!result.ok()) {
        fail(result);
    }
    return result.value;
}

void ControlHost::put(qint32 dispid, const Variant& value)
{
    const automation::CallResult result = m_control->put(dispid, value);
    if (!result.ok()) {
        fail(result);
    }
}

void ControlHost::call(qint32 dispid, std::span<Variant> args)
{
    const automation::CallResult result =
        m_control->invoke(dispid, automation::MemberKind::Method, args);
    if (!result.ok()) {
        fail(result);
    }
}

qint16 ControlHost::error()
{
    const auto code = automation::toInt16(get(vorlanemembers::Error));
    if (!code.ok()) {
        throw RuntimeFault{static_cast<int>(code.error), {}};
    }
    return code.value;
}

QString ControlHost::errorText()
{
    const auto text = automation::toString(get(vorlanemembers::ErrorText));
    return QString::fromUtf8(text.value);
}

qint32 ControlHost::getLong(qint32 dispid)
{
    const auto value = automation::toInt32(get(dispid));
    if (!value.ok()) {
        throw RuntimeFault{static_cast<int>(value.error),
                           QString::fromUtf8(automation::runtimeErrorText(value.error))};
    }
    return value.value;
}
