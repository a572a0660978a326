// What decides whether a message is clean: one fingerprint per engine. A message remembered as
// clean (--remember) is checked again as soon as any of them changes.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// One entry per engine, "name value"; every further engine adds its line here.
QByteArrayList engineFingerprints(const QString& definitionFile);

// The entries folded into one printable key.
QByteArray combinedFingerprint(const QByteArrayList& fingerprints);
