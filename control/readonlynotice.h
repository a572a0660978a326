// The modal notice of a put on a read-only property.
#pragma once

#include <QByteArray>

// Shows `text` in a modal box with an OK button when the host runs a widget application, and on
// standard error otherwise (a host without a window system must not block or crash) or when the
// control's widgets cannot be loaded.
void showReadOnlyNotice(const QByteArray& text);
