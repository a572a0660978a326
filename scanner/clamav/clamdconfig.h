// Which ClamAV daemon the setting "ClamAV" names, and what the system's daemon's configuration
// says: where it listens, and whether it reports the messages beyond its limits.
#pragma once

#include <QString>
#include <optional>

namespace scanner {

// The configuration of the system's daemon, as Debian's clamav-daemon installs it.
inline const QString kSystemClamdConfig = QStringLiteral("/etc/clamav/clamd.conf");

// "clamd" is the system's daemon, "clamd:PATH" one listening on the Unix socket PATH; any other
// value names a database folder for the in-process engine, and gives nothing here.
std::optional<QString> clamdSocketNamed(const QString& setting,
                                        const QString& config = kSystemClamdConfig);

// The LocalSocket that the daemon's configuration names, or /run/clamav/clamd.ctl (the
// package's own default) when the file or the option is missing.
QString systemClamdSocket(const QString& config = kSystemClamdConfig);

// Whether the configuration turns on AlertExceedsMax. Without it (Debian's default) the daemon
// answers "OK" for a message it stopped scanning at one of its limits, and the scanner cannot
// tell that from clean.
bool clamdReportsLimits(const QString& config = kSystemClamdConfig);

} // namespace scanner
