// Which ClamAV daemon the setting "ClamAV" names, and where the system's own one listens.
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

} // namespace scanner
