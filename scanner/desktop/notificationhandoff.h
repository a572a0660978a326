// A notification whose default action opens a folder outlives the run that sends it: a headless
// run must end at once, and only the process that sent a notification hears that it was clicked.
// So the run hands it to a helper process of its own (this program again, with the hidden option
// --notification-helper) that sends it, waits for the click, opens the folder with xdg-open and
// ends; it also ends when the notification is closed, when the bus goes away, and after a day.
#pragma once

#include "scanner/desktop/desktopnotification.h"

#include <QString>

// The helper's environment variable. The environment, unlike the command line, is readable by
// its owner alone: the notification names senders and subjects.
inline constexpr const char* kNotificationVariable = "ORSEL_NOTIFICATION";
inline constexpr const char* kNotificationFolderVariable = "ORSEL_NOTIFICATION_FOLDER";

// Starts the helper `program` for `notification`, which opens `folder` when clicked. Under a
// systemd service (whose processes systemd ends with it) the helper starts as a transient unit
// of its own through systemd-run. False when no helper could be started.
bool handOffNotification(const QString& program, const DesktopNotification& notification,
                         const QString& folder);

// The helper itself; returns its exit status (0 also when nothing could be shown). Needs a
// QCoreApplication.
int runNotificationHelper();
