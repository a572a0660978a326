// The control's UniqueIDList read by message number, so that a remembered message can be
// skipped without being selected.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

// `list`: "n id" lines joined by CR LF, as the server sent them. A number given on two lines is
// left out (which line is right cannot be told), and so is a line without a number: those
// messages are selected, and the control asks the server for their ids itself.
QHash<qint32, QByteArray> uniqueIdsByNumber(QByteArrayView list);
