// ControlHost: the scanner's side of the one control instance on its window. It creates the
// control by ProgID, restores its stored design-time settings, calls it by member id and turns
// its progress event into a callback.
#pragma once

#include "platform/automation/dispatch.h"
#include "platform/automation/eventsink.h"
#include "platform/automation/ref.h"

#include <QByteArray>
#include <QString>
#include <functional>

// A call that failed at run time (the control could not be created, a conversion failed, a send
// on a dead socket): the program ends with a run-time error report.
struct RuntimeFault {
    int number;
    QString description;
};

class ControlHost : private automation::EventSink {
public:
    using ProgressHandler = std::function<void(qint16 percentCompleted)>;

    // Creates the control and restores port 110, timeout 10 and empty host, user and password.
    // Throws RuntimeFault when the control cannot be created.
    ControlHost();
    ~ControlHost() override;

    void setProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }

    // Calls by member id; each throws RuntimeFault when the call itself fails.
    automation::Variant get(qint32 dispid);
    void put(qint32 dispid, const automation::Variant& value);
    void call(qint32 dispid, std::span<automation::Variant> args = {});

    qint16 error();
    QString errorText();
    qint32 getLong(qint32 dispid);

private:
    void invoke(qint32 dispid, std::span<automation::Variant> args) override;

    automation::Ref<automation::Dispatch> m_control;
    ProgressHandler m_progress;
};
