#include "scanner/desktop/keyringpassword.h"

#include "platform/pump.h"
#include "scanner/desktop/secretservice.h"
#include "scanner/desktop/sessionbus.h"

#include <memory>
#include <qt6keychain/keychain.h>

const QString KeyringPassword::kService = QStringLiteral("Orsel");

namespace {

QString noBus()
{
    return QStringLiteral("there is no session bus to reach the keyring through");
}

// A job that has not ended deletes itself when it does: deleting it before would leave the
// keyring library a dangling callback.
struct JobDeleter {
    void operator()(QKeychain::Job* job) const
    {
        if (job->property("finished").toBool()) {
            delete job;
        } else {
            QObject::disconnect(job, &QKeychain::Job::finished, nullptr, nullptr);
            job->setAutoDelete(true);
        }
    }
};

template <class Job> using JobPointer = std::unique_ptr<Job, JobDeleter>;

template <class Job> JobPointer<Job> makeJob(const QString& key)
{
    JobPointer<Job> job(new Job(KeyringPassword::kService));
    job->setKey(key);
    job->setAutoDelete(false);
    job->setInsecureFallback(false); // never into a plain file
    return job;
}

// Runs `job` to its end, pumping the event loop (the keyring library answers through it), or
// until `deadline`. False, with the reason in *error, when it failed or did not end in time.
bool runJob(QKeychain::Job& job, const QDeadlineTimer& deadline, int timeoutMs, QString* error)
{
    QObject::connect(&job, &QKeychain::Job::finished, &job,
                     [&job] { job.setProperty("finished", true); });
    job.start();
    if (!platform::pumpUntil([&job] { return job.property("finished").toBool(); },
                             deadline.remainingTime())) {
        *error =
            QStringLiteral("the keyring did not answer within %1 s").arg((timeoutMs + 999) / 1000);
        return false;
    }
    switch (job.error()) {
    case QKeychain::NoError:
        return true;
    case QKeychain::EntryNotFound:
        *error = QStringLiteral("the keyring holds no such password");
        return false;
    case QKeychain::NoBackendAvailable:
        *error = QStringLiteral("no keyring answers on the session bus");
        return false;
    default:
        *error = QStringLiteral("the keyring refused: %1").arg(job.errorString());
        return false;
    }
}

// Asked before reading, since a read of a locked item prompts; false, with the reason in
// *error, when there is nothing to read. *locked: the item is there, but locked.
bool isThere(QDBusConnection& bus, const QString& key, const QDeadlineTimer& deadline, bool* locked,
             QString* error)
{
    const secretservice::Answer answer = secretservice::itemState(
        bus, {{QStringLiteral("server"), KeyringPassword::kService}, {QStringLiteral("user"), key}},
        sessionbus::callTimeoutMs(deadline));
    *locked = answer.state == secretservice::State::Locked;
    switch (answer.state) {
    case secretservice::State::NoService:
        *error = QStringLiteral("no keyring answers on the session bus (%1)").arg(answer.error);
        return false;
    case secretservice::State::Missing:
        *error = QStringLiteral("the keyring holds no such password");
        return false;
    case secretservice::State::Locked:
    case secretservice::State::Unlocked:
        break;
    }
    return true;
}

} // namespace

std::optional<QString> KeyringPassword::read(Prompt prompt, int timeoutMs, QString* error) const
{
    const QDeadlineTimer deadline(timeoutMs);
    std::optional<QDBusConnection> bus = sessionbus::connection();
    if (!bus) {
        *error = noBus();
        return std::nullopt;
    }
    bool locked = false;
    if (!isThere(*bus, m_key, deadline, &locked, error)) {
        return std::nullopt;
    }
    if (locked && prompt == Prompt::Never) {
        *error = QStringLiteral("the keyring that holds it is locked, and a scan without a window "
                                "does not ask to unlock it");
        return std::nullopt;
    }
    const auto job = makeJob<QKeychain::ReadPasswordJob>(m_key);
    if (!runJob(*job, deadline, timeoutMs, error)) {
        // An unlock that was refused, or that nobody could be asked for, reads as "not found".
        if (locked && job->error() == QKeychain::EntryNotFound) {
            *error = QStringLiteral("the keyring that holds it is locked and was not unlocked");
        }
        return std::nullopt;
    }
    return job->textData();
}

bool KeyringPassword::write(const QString& password, int timeoutMs, QString* error) const
{
    if (!sessionbus::connection()) {
        *error = noBus();
        return false;
    }
    const auto job = makeJob<QKeychain::WritePasswordJob>(m_key);
    job->setTextData(password);
    return runJob(*job, QDeadlineTimer(timeoutMs), timeoutMs, error);
}

void KeyringPassword::remove(int timeoutMs) const
{
    if (!sessionbus::connection()) {
        return;
    }
    const auto job = makeJob<QKeychain::DeletePasswordJob>(m_key);
    QString ignored;
    runJob(*job, QDeadlineTimer(timeoutMs), timeoutMs, &ignored);
}

bool KeyringPassword::isRunning(int timeoutMs)
{
    std::optional<QDBusConnection> bus = sessionbus::connection();
    return bus && secretservice::isRunning(*bus, timeoutMs);
}

bool KeyringPassword::isReady(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    std::optional<QDBusConnection> bus = sessionbus::connection();
    return bus && secretservice::isRunning(*bus, timeoutMs) &&
           secretservice::defaultCollectionState(*bus, sessionbus::callTimeoutMs(deadline)).state ==
               secretservice::State::Unlocked;
}
