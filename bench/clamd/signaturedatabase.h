// A ClamAV database of the official one's size, made up: 6,000,000 MD5 hashes of whole files
// (.hdb), 1,500,000 PE section hashes (.mdb) and 120,000 body signatures of 16 bytes (.ndb), all
// from a fixed seed, so that every run loads the same 7.62 million signatures. None matches mail.
#pragma once

#include <QString>

// Writes it into `folder` unless a complete one is there already; the number of signatures, or
// 0 when it could not be written.
qint64 ensureSignatureDatabase(const QString& folder);
