#include "scanner/scanrun.h"

#include "platform/automation/conversions.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "scanner/scan.h"
#include "scanner/vorlanemembers.h"

#include <QFile>
#include <QPushButton>

using automation::Variant;
namespace member = vorlanemembers;

namespace {

// Thrown when a hook that should end the program returned (tests): stops the run right there.
struct ProgramEndReturned {};

Variant text(const QString& value)
{
    return Variant::fromString(value.toUtf8());
}

} // namespace

ScanRun::ScanRun(Scan& window, ControlHost& control, modGeneral::StoredSettings settings,
                 QString programFolder, ScanHooks hooks)
    : m_window(window), m_control(control), m_settings(std::move(settings)),
      m_programFolder(std::move(programFolder)), m_hooks(std::move(hooks)),
      m_engines(modGeneral::readEngineSettings())
{
    m_control.setProgressHandler([this](qint16 percent) { onProgress(percent); });
}

void ScanRun::run()
{
    try {
        runSteps();
    } catch (const RuntimeFault& fault) {
        reportRuntimeError(m_hooks, fault.number, fault.description);
    } catch (const ProgramEndReturned&) {
    }
}

void ScanRun::endProgram(int exitCode)
{
    m_hooks.endProgram(exitCode);
    throw ProgramEndReturned{};
}

void ScanRun::runSteps()
{
    m_window.command1()->setEnabled(false);
    prepareEngines();
    m_control.put(member::POPHostname, text(m_settings.address));
    m_control.put(member::POPUsername, text(m_settings.user));
    m_control.put(member::POPPassword, text(m_settings.pass));
    m_control.call(member::Connect);
    if (m_control.error() != 0) {
        // A refused login ends at once: no box, no pause, nothing to disconnect.
        m_window.setInfo(m_control.errorText());
        m_window.command1()->setEnabled(true);
        endProgram(1);
    }
    m_window.setInfo(
        QStringLiteral("Messages in mailbox: [%1].").arg(m_control.getLong(member::MsgCount)));
    const qint32 count = m_control.getLong(member::MsgCount);
    if (count > kMaximumMessages) {
        errorExit(QStringLiteral("The mailbox holds %1 messages; at most %2 can be scanned.")
                      .arg(count)
                      .arg(kMaximumMessages));
    }
    for (int counter = 1; counter <= count; ++counter) {
        scanMessage(counter);
    }
    m_window.setInfo(QStringLiteral("Scan complete!\r\rClosing in 3 seconds..."));
    m_hooks.pause(3);
    m_control.call(member::Disconnect);
    m_window.command1()->setEnabled(true);
    endProgram(0);
}

void ScanRun::scanMessage(int counter)
{
    Variant number[] = {Variant::fromInt16(qint16(counter))};
    m_control.call(member::SetCurrentMsg, number);
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    platform::pumpEvents();
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    m_window.setInfo(QStringLiteral("Scanning message no: %1...").arg(msgNumberText()));
    const qint32 sizeInK = m_control.getLong(member::MsgSizeInK);
    if (sizeInK > kSizePromptAboveK) {
        m_window.setTopmost(false);
        m_skip = !m_hooks.askToContinue(
            &m_window, QStringLiteral("This message is %1kb in size and may take a few minutes to "
                                      "scan.\rWould you like to continue with the scan of message "
                                      "%2?")
                           .arg(sizeInK)
                           .arg(msgNumberText())
                           .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        m_window.setTopmost(true);
    }
    if (!m_skip) {
        saveAndCheck();
    }
    m_skip = false;
}

void ScanRun::saveAndCheck()
{
    const QString path = savedMessagePath();
    Variant file[] = {text(path)};
    m_control.call(member::WriteCurrentMsgToFile, file);
    // A message that could not be saved whole must not be taken for clean.
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    const scanner::CheckResult result = m_definitions.check(
        m_programFolder + QStringLiteral("/def.dat"), path,
        [this](const QByteArray& definition, const QByteArray& line) { onHit(definition, line); });
    if (!result.ok) {
        errorExit(result.error);
    }
    const scanner::CheckResult more = m_engines.check(
        m_definitions, path,
        [this](const QByteArray& definition, const QByteArray& line) { onHit(definition, line); });
    if (!more.ok) {
        errorExit(more.error);
    }
    if (!m_hit) {
        m_window.setInfo(QStringLiteral("Scan of message %1 complete.\r\rNo viruses found.")
                             .arg(msgNumberText()));
    }
    m_hit = false;
}

// Before the first message: a scanner that cannot load its database must not scan with nothing.
void ScanRun::prepareEngines()
{
    QString error;
    const auto show = [this](const QString& text) {
        m_window.setInfo(text);
        platform::pumpEvents(); // let the label show it before the load blocks
    };
    // ClamAV reports progress per signature; a pump may wait for events, so pump only now and then.
    qint64 lastPump = platform::monotonicMilliseconds();
    const auto keepAlive = [&lastPump] {
        const qint64 now = platform::monotonicMilliseconds();
        if (now - lastPump >= 100) {
            platform::pumpEvents();
            lastPump = now;
        }
    };
    if (!m_engines.prepare(show, keepAlive, &error)) {
        errorExit(error);
    }
}

void ScanRun::onHit(const QByteArray& definition, const QByteArray& messageLine)
{
    m_hit = true;
    m_window.setInfo(
        QStringLiteral("Possible virus found!\r\rVirus Information:\rSearch String found in "
                       "definition file\r[") +
        QString::fromUtf8(definition) + QStringLiteral("]:") + QString::fromUtf8(messageLine) +
        QStringLiteral("\r\rThis E-Mail will now be deleted off the server. You can still view "
                       "the contents of this message by viewing the ") +
        savedMessagePath() + QStringLiteral(" file."));
    m_control.call(member::DeleteCurrentMsg);
    m_hooks.pause(5);
}

void ScanRun::onProgress(qint16 percentCompleted)
{
    m_window.setInfo(QStringLiteral("Scanning message no: %1...\r\r%2% Completed.")
                         .arg(msgNumberText())
                         .arg(percentCompleted));
}

void ScanRun::errorExit(const QString& reason)
{
    m_window.setInfo(reason);
    m_window.setTopmost(false); // the box must not hide behind the window
    m_hooks.showError(&m_window, QStringLiteral("Error: ") + reason);
    endProgram(1);
}

QString ScanRun::msgNumberText()
{
    return QString::number(m_control.getLong(member::MsgNumber));
}

QString ScanRun::savedMessagePath()
{
    return m_programFolder + QStringLiteral("/msg") + msgNumberText() + QStringLiteral(".txt");
}
