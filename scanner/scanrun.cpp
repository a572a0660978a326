#include "scanner/scanrun.h"

#include "platform/automation/conversions.h"
#include "platform/pump.h"
#include "scanner/hittext.h"
#include "scanner/scan.h"
#include "scanner/vorlanemembers.h"

#include <QFile>
#include <QPushButton>
#include <cstdio>

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
                 const ProgramFolder& programFolder, ScanHooks hooks)
    : m_window(window), m_control(control), m_settings(std::move(settings)),
      m_programFolder(programFolder), m_hooks(std::move(hooks))
{
    m_control.setProgressHandler([this](qint16 percent) { onProgress(percent); });
}

void ScanRun::run()
{
    try {
        runSteps();
    } catch (const RuntimeFault& fault) {
        m_window.setTopmost(false); // the report's box must not hide behind the window
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
    disconnect();
    m_window.command1()->setEnabled(true);
    endProgram(m_failed ? 1 : 0);
}

void ScanRun::disconnect()
{
    // A session the server ended by itself has nobody left to send QUIT to.
    const bool inSession = m_control.getLong(member::Status) == 1;
    m_control.call(member::Disconnect);
    // Only a QUIT answered "+OK" makes the server carry out the deletions.
    if (m_control.error() != 0) {
        reportFailure(m_control.errorText());
    } else if (!inSession && !m_deleAnswered.isEmpty()) {
        reportFailure(QStringLiteral("The server ended the session before QUIT: no message "
                                     "marked for deletion was deleted."));
    }
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
    const QString path = m_programFolder.filePath(savedMessageName());
    Variant file[] = {Variant::fromString(m_programFolder.nativeFilePath(savedMessageName()))};
    m_control.call(member::WriteCurrentMsgToFile, file);
    // A message that could not be saved whole must not be taken for clean.
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    const scanner::CheckResult result = m_definitions.check(
        m_programFolder.filePath(QStringLiteral("def.dat")), path,
        [this](const QByteArray& definition, const QByteArray& line) { onHit(definition, line); });
    if (!result.ok) {
        errorExit(result.error);
    }
    if (!m_blankLinesSaid && m_definitions.blankLinesSkipped() > 0) {
        m_blankLinesSaid = true;
        const QByteArray note =
            QStringLiteral("def.dat: %1 lines of only blanks or tabs skipped.\n")
                .arg(m_definitions.blankLinesSkipped())
                .toUtf8();
        std::fwrite(note.constData(), 1, size_t(note.size()), stdout);
        std::fflush(stdout);
    }
    if (!m_hit) {
        m_window.setInfo(QStringLiteral("Scan of message %1 complete.\r\rNo viruses found.")
                             .arg(msgNumberText()));
    }
    m_hit = false;
}

void ScanRun::onHit(const QByteArray& definition, const QByteArray& messageLine)
{
    m_hit = true;
    const QString d = QString::fromUtf8(definition);
    const QString m = QString::fromUtf8(messageLine);
    const QString path = savedMessagePath();
    m_window.setInfo(hitText(d, m, path),
                     fittedHitText(d, m, path, [this](const QString& candidate) {
                         return m_window.fitsLabel(candidate);
                     }));
    const qint32 number = m_control.getLong(member::MsgNumber);
    m_control.call(member::DeleteCurrentMsg);
    if (m_control.error() != 0 && !m_deleAnswered.contains(number)) {
        reportFailure(m_control.errorText());
    }
    m_deleAnswered.insert(number);
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

void ScanRun::reportFailure(const QString& reason)
{
    m_failed = true;
    m_window.setTopmost(false);
    m_hooks.showError(&m_window, QStringLiteral("Error: ") + reason);
    m_window.setTopmost(true);
}

QString ScanRun::msgNumberText()
{
    return QString::number(m_control.getLong(member::MsgNumber));
}

QString ScanRun::savedMessageName()
{
    return QStringLiteral("msg") + msgNumberText() + QStringLiteral(".txt");
}

QString ScanRun::savedMessagePath()
{
    return m_programFolder.displayPath() + QLatin1Char('/') + savedMessageName();
}
