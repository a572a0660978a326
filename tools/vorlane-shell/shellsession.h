// ShellSession: runs script lines against at most one object at a time.
#pragma once

#include "platform/automation/dispatch.h"
#include "platform/automation/ref.h"
#include "tools/vorlane-shell/eventprinter.h"
#include "tools/vorlane-shell/lineoutput.h"
#include "tools/vorlane-shell/scriptline.h"

#include <QByteArrayView>

namespace vorlaneshell {

// Every line that is not skipped writes exactly one result line; the object's events come before
// it, as they happen. Calls block while the object waits (it pumps the event loop, so a
// QCoreApplication must exist). The object is released, as by `release`, when the session ends.
class ShellSession {
public:
    explicit ShellSession(LineOutput output);
    ~ShellSession();
    ShellSession(const ShellSession&) = delete;
    ShellSession& operator=(const ShellSession&) = delete;

    void runLine(QByteArrayView line);

private:
    QByteArray run(const ScriptCommand& command);
    QByteArray create(const QByteArray& progId);
    QByteArray invoke(const ScriptCommand& command);
    void release();

    LineOutput m_output;
    EventPrinter m_events;
    automation::Ref<automation::Dispatch> m_object;
};

} // namespace vorlaneshell
