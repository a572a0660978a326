// Builds MIME mail for tests at test time: encoded parts, multiparts, attached messages, a
// deflated zip, and the EICAR test text (assembled here so that no file of ours carries it whole).
#pragma once

#include <QByteArray>
#include <QList>

namespace testmail {

// The 68-byte EICAR anti-virus test text.
QByteArray eicar();

// Base64 in lines of 76 characters, each ending in CR LF.
QByteArray base64Lines(const QByteArray& data);
// Quoted-printable with a soft line break ("=" CR LF) after every `width` encoded characters, so
// that texts are split over encoded lines.
QByteArray quotedPrintable(const QByteArray& data, int width);
// A uuencoded block: "begin 644 name", the lines, "`", "end".
QByteArray uuencode(const QByteArray& name, const QByteArray& data);

// A leaf part: its header lines (each without line end), a blank line, the body.
QByteArray part(const QList<QByteArray>& headers, const QByteArray& body);
// A base64 attachment with that file name and content type.
QByteArray base64Attachment(const QByteArray& fileName, const QByteArray& type,
                            const QByteArray& data);
// A multipart of that subtype; `closed` false leaves out the closing boundary.
QByteArray multipart(const QByteArray& subtype, const QByteArray& boundary,
                     const QList<QByteArray>& parts, bool closed = true);
// A whole message: From, To, Subject and MIME-Version, then `entity` (a part or a multipart,
// starting with its own header lines).
QByteArray message(const QByteArray& subject, const QByteArray& entity);
// An attached message (message/rfc822) holding `inner`.
QByteArray attachedMessage(const QByteArray& inner);

// A zip archive with one member, stored deflated, made by Python's zipfile module. Empty when
// python3 is missing or fails.
QByteArray deflatedZip(const QByteArray& memberName, const QByteArray& data);

// A zip holding `data` as `memberName`, itself zipped again `levels` times over (one member each).
QByteArray nestedZip(const QByteArray& memberName, const QByteArray& data, int levels);
// A zip of `count` empty members, then `memberName` holding `data`.
QByteArray zipAfterEmptyMembers(int count, const QByteArray& memberName, const QByteArray& data);

// A tiny ClamAV database that knows EICAR by its MD5, under the signature name given.
QByteArray eicarHashDatabase(const QByteArray& signatureName);

} // namespace testmail
