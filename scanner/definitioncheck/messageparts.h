// The parts of a saved message that travel encoded, and their decoded content: what the decoded
// check reads. GMime finds them (EncodedParts); the check itself needs no GMime.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;

namespace scanner {

class MessageParts {
public:
    virtual ~MessageParts() = default;

    // False when the message file could not be opened; error() then names it and the reason.
    virtual bool isOpen() const = 0;
    virtual QString error() const = 0;

    // Why parts of the message may have gone unread ("" when none did): the reader gave up on
    // nesting beyond its limit, or met a structure that other readers take otherwise.
    virtual QString unread() const = 0;

    virtual qsizetype count() const = 0;
    // The part's file name (UTF-8) or, when it has none, its content type ("text/plain").
    virtual QByteArray label(qsizetype index) const = 0;
    // The decoded content from its start; each call gives a fresh device. Null on failure.
    virtual std::unique_ptr<QIODevice> openDecoded(qsizetype index) const = 0;
};

} // namespace scanner
