#include "scanner/scanrun.h"

#include "platform/automation/conversions.h"
#include "platform/clock.h"
#include "platform/pump.h"
#include "scanner/absentmessage.h"
#include "scanner/desktop/keyringkit.h"
#include "scanner/enginefingerprints.h"
#include "scanner/hittext.h"
#include "scanner/mailboxsettings.h"
#include "scanner/messageassent.h"
#include "scanner/programmodule.h"
#include "scanner/statusoutput.h"
#include "scanner/vorlanemembers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

using automation::Variant;
namespace member = vorlanemembers;

namespace {

// Thrown when a hook that should end the program returned (tests): stops the run right there.
struct ProgramEndReturned {};

// A file of the run's own that goes when the check of its message is over, however it ends.
struct RemovedAtEnd {
    QString path;
    ~RemovedAtEnd()
    {
        if (!path.isEmpty()) {
            QFile::remove(path);
        }
    }
};

} // namespace

ScanRun::ScanRun(ScanSurface& surface, ControlHost& control, modGeneral::StoredSettings settings,
                 const modGeneral::EngineSettings& engines, const ProgramFolder& programFolder,
                 ScanHooks hooks, ScanOptions options)
    : m_surface(surface), m_control(control), m_settings(std::move(settings)),
      m_places(scanPlacesFor(programFolder, options.account)), m_hooks(std::move(hooks)),
      m_options(std::move(options)), m_engines(engines)
{
    m_control.setProgressHandler([this](qint16 percent) { onProgress(percent); });
}

void ScanRun::run()
{
    try {
        runSteps();
    } catch (const RuntimeFault& fault) {
        printSummary();
        m_surface.setTopmost(false); // the report's box must not hide behind the window
        m_outcome.committed = m_tally.committed;
        reportRuntimeError(m_hooks, fault.number, fault.description, m_outcome);
    } catch (const ProgramEndReturned&) {
    }
}

void ScanRun::endProgram(int exitCode)
{
    printSummary();
    m_outcome.exitCode = exitCode;
    m_outcome.committed = m_tally.committed;
    endRun(m_hooks, m_outcome);
    throw ProgramEndReturned{};
}

void ScanRun::runSteps()
{
    m_surface.setStartEnabled(false);
    takeRunLocks();
    prepareEngines();
    prepareOptions();
    if (m_settings.getsToken()) {
        // A helper may wait for a browser sign-in: say what the run waits for.
        m_surface.setInfo(QStringLiteral("Getting an access token..."));
    }
    {
        // A copy that holds the password only as long as the login needs it.
        modGeneral::StoredSettings mailbox = m_settings;
        if (!mailbox.getsToken()) {
            mailbox.pass = loginPassword();
        }
        if (const std::optional<QString> reason = putMailboxSettings(m_control, mailbox)) {
            errorExit(*reason);
        }
    }
    applyFewerRoundTrips();
    m_control.call(member::Connect);
    if (m_control.error() != 0) {
        // A refused login ends at once: no box, no pause, nothing to disconnect.
        m_outcome.failure = m_control.errorText();
        m_surface.setInfo(m_outcome.failure);
        m_surface.setStartEnabled(true);
        endProgram(exitstatus::ErrorExit);
    }
    m_surface.setInfo(
        QStringLiteral("Messages in mailbox: [%1].").arg(m_control.getLong(member::MsgCount)));
    const qint32 count = m_control.getLong(member::MsgCount);
    m_tally.onServer = count;
    if (count > kMaximumMessages) {
        errorExit(QStringLiteral("The mailbox holds %1 messages; at most %2 can be scanned.")
                      .arg(count)
                      .arg(kMaximumMessages));
    }
    for (int counter = 1; counter <= count; ++counter) {
        scanMessage(counter);
    }
    m_surface.setInfo(closingText());
    m_hooks.pause(3);
    disconnect();
    rememberCleanMessages();
    m_surface.setStartEnabled(true);
    endProgram(exitCodeAtEnd());
}

// Before anything is written or remembered: another run on the account, or saving into the same
// folder, would write the same msgN.txt and the same memory.
void ScanRun::takeRunLocks()
{
    // Port and timeout are fixed, so address and user name tell accounts apart.
    takeRunLock(m_accountLock, QStringLiteral("account"),
                m_settings.address + QLatin1Char('\n') + m_settings.user);
    const QString folder = m_places.messageFolder.displayPath();
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    takeRunLock(m_folderLock, QStringLiteral("folder"), canonical.isEmpty() ? folder : canonical);
}

void ScanRun::takeRunLock(RunLock& lock, const QString& kind, const QString& key)
{
    const QString path = RunLock::pathFor(RunLock::defaultFolder(), kind, key);
    qint64 holder = 0;
    QString error;
    const auto attempt = [&] { return lock.tryTake(path, &holder, &error) || !error.isEmpty(); };
    if (!attempt()) {
        m_surface.setInfo(QStringLiteral("Waiting for another scan of %1 to end...")
                              .arg(currentAccountName(m_settings, m_options.account)));
        if (!m_hooks.waitForRunLock(attempt)) {
            errorExit(QStringLiteral("Another scan of %1 is running%2.")
                          .arg(currentAccountName(m_settings, m_options.account),
                               holder > 0 ? QStringLiteral(" (pid %1)").arg(holder) : QString()));
        }
    }
    if (!error.isEmpty()) {
        errorExit(error);
    }
}

// The stored password, or the one in the keyring. Read just before it is needed, so that it
// stays in memory no longer than the login needs it.
QString ScanRun::loginPassword()
{
    if (m_settings.passInFile()) {
        return m_settings.pass;
    }
    if (m_settings.passStore != modGeneral::kPassStoreKeyring) {
        errorExit(QStringLiteral("Unknown password store \"%1\" in the settings; it must be %2.")
                      .arg(m_settings.passStore, modGeneral::kPassStoreKeyring));
    }
    // A window may let the desktop ask to unlock the keyring, and waits for the person there; a
    // run without one must end soon, whatever the keyring does.
    const bool headless = m_options.headless;
    m_surface.setInfo(QStringLiteral("Reading the password from the keyring..."));
    QString error;
    std::optional<QString> password;
    if (const KeyringKit* keyring =
            loadProgramModule<KeyringKit>(kKeyringKitModule, kKeyringKitEntryPoint, &error)) {
        password = keyring->readPassword(
            m_options.account.keyringKey(), !headless,
            headless ? kHeadlessKeyringTimeoutMs : kWindowKeyringTimeoutMs, &error);
    }
    if (!password) {
        const QString whose = m_options.account.isDefault()
                                  ? QString()
                                  : QStringLiteral(" of account ") + m_options.account.name();
        errorExit(QStringLiteral("The password%1 could not be read from the keyring: %2.")
                      .arg(whose, error));
    }
    return *password;
}

void ScanRun::prepareOptions()
{
    if (!m_options.quarantineFolder.isEmpty()) {
        m_quarantine.emplace(m_options.quarantineFolder);
        QString error;
        if (!m_quarantine->prepare(&error)) {
            errorExit(error);
        }
    }
    if (m_options.remember) {
        m_engineFingerprint = currentFingerprint();
        // Port and timeout are fixed, so address and user name tell accounts apart.
        m_memory.emplace(RememberedMessages::defaultFolder(),
                         m_settings.address + QLatin1Char('\n') + m_settings.user,
                         m_engineFingerprint);
        if (const QString notice = m_memory->load(); !notice.isEmpty()) {
            writeErrorText(QStringLiteral("Orsel01: ") + notice + QLatin1Char('.'));
        }
    }
}

int ScanRun::exitCodeAtEnd() const
{
    if (m_failed) {
        return exitstatus::ErrorExit;
    }
    // Mail left unchecked on the server outweighs mail deleted: it needs someone's attention.
    if (m_options.headless && m_tally.notFullyChecked > 0) {
        return exitstatus::NotFullyChecked;
    }
    if (m_options.headless && m_tally.infected > 0 && m_tally.committed) {
        return exitstatus::InfectedDeleted;
    }
    return exitstatus::Done;
}

void ScanRun::scanMessage(int counter)
{
    Variant number[] = {Variant::fromInt16(qint16(counter))};
    m_control.call(member::SetCurrentMsg, number);
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    // One pass over what is pending, and no more: the platform pump would also wait up to 50 ms
    // for a further event, which is 50 s in a mailbox of a thousand messages.
    QCoreApplication::processEvents();
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    if (m_memory && skipRemembered(msgUniqueId())) {
        return;
    }
    m_surface.setInfo(QStringLiteral("Scanning message no: %1...").arg(msgNumberText()));
    if (!skipLarge()) {
        saveAndCheck();
    }
}

// The unique id came with the selection; with fewer round trips so did the size, and a message
// remembered but of another size is new content under an old id: it is checked again.
bool ScanRun::skipRemembered(const QByteArray& id)
{
    // A made-up id stands for whichever message has the number now, never for one found clean.
    if (!isServersId(id) || !m_memory->isRemembered(id, m_control.getLong(member::MsgSizeInK))) {
        return false;
    }
    ++m_tally.remembered;
    m_cleanIds.insert(id, m_control.getLong(member::MsgSizeInK));
    return true;
}

bool ScanRun::skipLarge()
{
    const qint32 sizeInK = m_control.getLong(member::MsgSizeInK);
    const qint32 limit = m_options.headless ? m_options.maxSizeK : kSizePromptAboveK;
    if (sizeInK <= limit) {
        return false;
    }
    m_surface.setTopmost(false);
    const bool skip = !m_hooks.askToContinue(
        m_surface.boxParent(),
        QStringLiteral("This message is %1kb in size and may take a few minutes to scan.\rWould "
                       "you like to continue with the scan of message %2?")
            .arg(sizeInK)
            .arg(msgNumberText())
            .replace(QLatin1Char('\r'), QLatin1Char('\n')));
    m_surface.setTopmost(true);
    if (skip) {
        ++m_tally.skippedBySize;
    }
    if (skip && m_options.headless) {
        writeStatusText(QStringLiteral("Message %1 skipped: %2 K is more than --max-size %3.")
                            .arg(msgNumberText())
                            .arg(sizeInK)
                            .arg(limit));
    }
    return skip;
}

void ScanRun::saveAndCheck()
{
    const QString path = m_places.messageFolder.filePath(savedMessageName());
    Variant file[] = {
        Variant::fromString(m_places.messageFolder.nativeFilePath(savedMessageName()))};
    m_control.call(member::WriteCurrentMsgToFile, file);
    // A message that could not be saved whole must not be taken for clean.
    if (m_control.error() != 0) {
        errorExit(m_control.errorText());
    }
    // The control's marker in place of the message: there was nothing to check.
    if (neverFetched(path)) {
        leaveNotFullyChecked(QStringLiteral("The server did not hand it out"));
        return;
    }
    m_messageHits.clear();
    // The raw hits are acted on before the engines run, as a user would see them come.
    bool infected = actOn(m_definitions.check(m_places.definitionFile(), path));
    // What decodes or unpacks the message, and the quarantine, get it as it was sent.
    const RemovedAtEnd asSent{m_engines.readsTheMessage() || m_quarantine ? writeAsSent(path)
                                                                          : QString()};
    const scanner::CheckResult engines =
        m_engines.check(m_definitions, asSent.path.isEmpty() ? path : asSent.path);
    infected = actOn(engines) || infected;
    sayBlankDefinitionLines();
    // A hit needs no more looking: the message goes all the same.
    if (!infected && !engines.notFullyChecked.isEmpty()) {
        leaveNotFullyChecked(engines.notFullyChecked);
        noteFinding(RunOutcome::Finding::NotFullyChecked, engines.notFullyChecked);
        return;
    }
    ++m_tally.checked;
    if (infected) {
        noteFinding(RunOutcome::Finding::Infected, m_messageHits.join(QStringLiteral(", ")));
    } else {
        m_surface.setInfo(QStringLiteral("Scan of message %1 complete.\r\rNo viruses found.")
                              .arg(msgNumberText()));
    }
    settleSavedFile(path, asSent.path, infected);
}

QString ScanRun::writeAsSent(const QString& path)
{
    const QString asSent = messageassent::pathFor(path);
    QString error;
    if (!messageassent::write(path, asSent, &error)) {
        errorExit(error);
    }
    return asSent;
}

// Alerts and marks the message for deletion once per hit, in the order given; a failed check
// then ends the run. True when there was a hit.
bool ScanRun::actOn(const scanner::CheckResult& result)
{
    for (const scanner::Hit& hit : result.hits) {
        reportHit(hit);
    }
    if (!result.ok) {
        errorExit(result.error);
    }
    return !result.hits.empty();
}

// With --quarantine an infected message goes there as it was sent, and its saved file goes, as
// does a clean one's; --remember notes the clean message.
void ScanRun::settleSavedFile(const QString& path, const QString& asSentPath, bool infected)
{
    if (infected) {
        ++m_tally.infected;
    } else if (m_memory && isServersId(msgUniqueId())) {
        m_cleanIds.insert(msgUniqueId(), m_control.getLong(member::MsgSizeInK));
    }
    if (!m_quarantine) {
        return;
    }
    if (!infected) {
        QFile::remove(path);
        return;
    }
    QString error;
    // The quarantine keeps the message as it was sent, so that it can be restored as it was.
    const auto moved =
        m_quarantine->take(asSentPath, msgUniqueId(), QDateTime::currentDateTimeUtc(), &error);
    if (!moved) {
        errorExit(error);
    }
    QFile::remove(path);
    writeStatusText(QStringLiteral("Message %1 quarantined as %2").arg(msgNumberText(), *moved));
}

// What a check could not look at may hold anything: the message is neither deleted for it nor
// remembered as clean, so it stays on the server and the next run checks it again. Its saved file
// stays too, even with --quarantine, for whoever wants to look into it.
void ScanRun::leaveNotFullyChecked(const QString& reason)
{
    ++m_tally.notFullyChecked;
    m_surface.setInfo(QStringLiteral("Message %1 was not fully checked:\r%2.\r\rIt stays on the "
                                     "server and is checked again next time.")
                          .arg(msgNumberText(), reason));
}

// Sender and subject come from the headers the save already fetched, so asking costs no round
// trip; they are asked only when someone will be told.
void ScanRun::noteFinding(RunOutcome::Finding finding, const QString& detail)
{
    if (!m_hooks.runEnded) {
        return;
    }
    m_outcome.messages.append({finding, automation::toString(m_control.get(member::MsgFrom)).value,
                               automation::toString(m_control.get(member::MsgSubject)).value,
                               detail});
}

QString ScanRun::closingText() const
{
    const int unchecked = m_tally.notFullyChecked;
    QString text = QStringLiteral("Scan complete!\r\r");
    if (unchecked == 1) {
        text += QStringLiteral("1 message was not fully checked; it was left on the server.\r\r");
    } else if (unchecked > 1) {
        text += QStringLiteral("%1 messages were not fully checked; they were left on the "
                               "server.\r\r")
                    .arg(unchecked);
    }
    return text + QStringLiteral("Closing in 3 seconds...");
}

void ScanRun::sayBlankDefinitionLines()
{
    if (!m_blankLinesSaid && m_definitions.blankLinesSkipped() > 0) {
        m_blankLinesSaid = true;
        writeStatusText(QStringLiteral("def.dat: %1 lines of only blanks or tabs skipped.")
                            .arg(m_definitions.blankLinesSkipped()));
    }
}

// Before the first message: a scanner that cannot load its database must not scan with nothing.
void ScanRun::prepareEngines()
{
    QString error;
    const auto show = [this](const QString& text) {
        m_surface.setInfo(text);
        // Lets the label show it before a load blocks. What is pending, and no more: the
        // platform pump would also wait up to 50 ms for a further event, on every text.
        QCoreApplication::processEvents();
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

// The alert, the DELE and the pause of one hit.
void ScanRun::reportHit(const scanner::Hit& hit)
{
    const QString d = QString::fromUtf8(hit.definition);
    const QString m = QString::fromUtf8(hit.messageLine);
    if (!m_messageHits.contains(d)) {
        m_messageHits.append(d);
    }
    const QString path = savedMessagePath();
    m_surface.setInfo(hitText(d, m, path),
                      fittedHitText(d, m, path, [this](const QString& candidate) {
                          return m_surface.fitsLabel(candidate);
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
    m_surface.setInfo(QStringLiteral("Scanning message no: %1...\r\r%2% Completed.")
                          .arg(msgNumberText())
                          .arg(percentCompleted));
}

void ScanRun::applyFewerRoundTrips()
{
    // Without the key (or with "0") the control keeps its classic session.
    const QString& value = m_settings.fewerRoundTrips;
    if (!modGeneral::isKnownFewerRoundTrips(value)) {
        errorExit(QStringLiteral("Unknown value \"%1\" of FewerRoundTrips in the settings; it must "
                                 "be 0 or 1.")
                      .arg(value));
    }
    if (value == QLatin1String("1")) {
        m_control.put(member::POPFewerRoundTrips, Variant::fromBool(true));
    }
}

void ScanRun::errorExit(const QString& reason)
{
    m_outcome.failure = reason;
    m_surface.setInfo(reason);
    m_surface.setTopmost(false); // the box must not hide behind the window
    m_hooks.showError(m_surface.boxParent(), QStringLiteral("Error: ") + reason);
    endProgram(exitstatus::ErrorExit);
}

void ScanRun::reportFailure(const QString& reason)
{
    m_failed = true;
    if (m_outcome.failure.isEmpty()) {
        m_outcome.failure = reason; // the first: what follows may only be its consequence
    }
    m_surface.setTopmost(false);
    m_hooks.showError(m_surface.boxParent(), QStringLiteral("Error: ") + reason);
    m_surface.setTopmost(true);
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
    } else {
        m_tally.committed = inSession;
    }
}

void ScanRun::rememberCleanMessages()
{
    if (!m_memory) {
        return;
    }
    // Definitions changed during the run: what they found clean proves nothing any more.
    const bool sameEngines = currentFingerprint() == m_engineFingerprint;
    QString error;
    if (!m_memory->save(sameEngines ? m_cleanIds : RememberedMessages::Sizes(), &error)) {
        writeErrorText(QStringLiteral("Orsel01: the clean messages are not remembered: ") + error);
    }
}

void ScanRun::printSummary() const
{
    // Named only when there are any, so that a run without them reads as it always did.
    const QString unchecked = m_tally.notFullyChecked == 0
                                  ? QString()
                                  : QStringLiteral(", %1 not fully checked (left on the server)")
                                        .arg(m_tally.notFullyChecked);
    writeStatusText(
        QStringLiteral("Summary: %1 messages on the server, %2 checked, %3 skipped by size, %4 "
                       "remembered, %5 infected (marked for deletion)%6; deletions committed by "
                       "QUIT: %7.")
            .arg(m_tally.onServer)
            .arg(m_tally.checked)
            .arg(m_tally.skippedBySize)
            .arg(m_tally.remembered)
            .arg(m_tally.infected)
            .arg(unchecked, m_tally.committed ? QStringLiteral("yes") : QStringLiteral("no")));
}

// What a clean result depends on: the definitions in use and every other engine's configuration.
QByteArray ScanRun::currentFingerprint() const
{
    QByteArrayList fingerprints = engineFingerprints(m_places.definitionFile());
    fingerprints.append("engines " + m_engines.fingerprint());
    return combinedFingerprint(fingerprints);
}

QString ScanRun::msgNumberText()
{
    return QString::number(m_control.getLong(member::MsgNumber));
}

QByteArray ScanRun::msgUniqueId()
{
    return automation::toString(m_control.get(member::MsgUniqueID)).value;
}

// The marker stands in the id, the contents, the headers or the file of a message the server did
// not hand out. The headers are asked last: by then the retrieval has fetched them.
bool ScanRun::neverFetched(const QString& path)
{
    const auto isMarker = [](const Variant& value) {
        return automation::toString(value).value == absentmessage::kMarker;
    };
    return !isServersId(msgUniqueId()) || isMarker(m_control.get(member::MsgContents)) ||
           absentmessage::fileIsMarker(path) || isMarker(m_control.get(member::MsgHeaders));
}

bool ScanRun::isServersId(const QByteArray& id)
{
    const QByteArray user = automation::toString(m_control.get(member::POPUsername)).value;
    const QByteArray host = automation::toString(m_control.get(member::POPHostname)).value;
    return id != absentmessage::substituteId(user, host, m_control.getLong(member::MsgNumber));
}

QString ScanRun::savedMessageName()
{
    return QStringLiteral("msg") + msgNumberText() + QStringLiteral(".txt");
}

QString ScanRun::savedMessagePath()
{
    return m_places.messageFolder.displayPath() + QLatin1Char('/') + savedMessageName();
}
