// The MIME leaf parts of a saved message that carry a transfer encoding (base64,
// quoted-printable, uuencode), found by GMime, and their decoded content as a stream.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

class QIODevice;
typedef struct _GMimeMessage GMimeMessage;
typedef struct _GMimePart GMimePart;

namespace scanner {

class EncodedParts {
public:
    // Parses the message file. The parts' content stays in the file and is decoded only as it
    // is read, so memory does not grow with the size of an attachment. Parts inside multiparts
    // and inside attached messages (message/rfc822) are included, at any depth, in the order in
    // which they appear in the file. Malformed MIME is taken as GMime reads it: a missing closing
    // boundary ends the part at the end of the file, invalid base64 characters are skipped.
    explicit EncodedParts(const QString& messagePath);
    ~EncodedParts();
    EncodedParts(const EncodedParts&) = delete;
    EncodedParts& operator=(const EncodedParts&) = delete;

    // False when the file could not be opened; error() then names it and the reason.
    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }

    // Why parts of the message may have gone unread ("" when none did): GMime gave up on nesting
    // beyond its limit, or met a structure that other readers take otherwise.
    QString unread() const { return m_unread; }

    qsizetype count() const { return qsizetype(m_parts.size()); }
    // The part's file name (UTF-8) or, when it has none, its content type ("text/plain").
    QByteArray label(qsizetype index) const;
    // The decoded content from its start; each call gives a fresh device. Null on failure.
    std::unique_ptr<QIODevice> openDecoded(qsizetype index) const;

private:
    void collect();

    bool m_open = false;
    QString m_error;
    QString m_unread;
    GMimeMessage* m_message = nullptr;
    std::vector<GMimePart*> m_parts; // referenced by the message, which is kept alive
};

} // namespace scanner
