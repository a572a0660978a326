// Reading numbers and fields out of POP3 reply lines (STAT, UIDL, LIST).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace replyparser {

// The leading number of a text, read the way the classic BASIC Val does: spaces, tabs and line
// feeds are ignored wherever they stand; the longest leading decimal number (optional sign,
// digits, fraction, exponent) is taken, 0 when there is none; the value is rounded to the
// nearest integer, halves to even. Values beyond the 32-bit range saturate instead of failing,
// so a hostile server cannot make a reply crash its reader.
qint32 leadingNumber(QByteArrayView text);

// The text after "+OK " (from the fifth character on); empty for a shorter reply.
QByteArrayView afterStatus(QByteArrayView reply);

// The text after the first space of `text`, or all of it when there is no space.
QByteArrayView afterFirstSpace(QByteArrayView text);

// `text` without its last two characters (the CR LF), or empty when it is shorter.
QByteArrayView withoutLineEnd(QByteArrayView text);

// True when a reply is a success: its first three characters are exactly "+OK".
bool isPositive(QByteArrayView reply);

} // namespace replyparser
