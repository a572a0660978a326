// The MIME leaf parts of a saved message that carry a transfer encoding (base64,
// quoted-printable, uuencode), found by GMime, and their decoded content as a stream.
#pragma once

#include "scanner/definitioncheck/messageparts.h"

#include <vector>

typedef struct _GMimeMessage GMimeMessage;
typedef struct _GMimePart GMimePart;

namespace scanner {

class EncodedParts final : public MessageParts {
public:
    // Parses the message file. The parts' content stays in the file and is decoded only as it
    // is read, so memory does not grow with the size of an attachment. Parts inside multiparts
    // and inside attached messages (message/rfc822) are included, at any depth, in the order in
    // which they appear in the file. Malformed MIME is taken as GMime reads it: a missing closing
    // boundary ends the part at the end of the file, invalid base64 characters are skipped.
    explicit EncodedParts(const QString& messagePath);
    ~EncodedParts() override;
    EncodedParts(const EncodedParts&) = delete;
    EncodedParts& operator=(const EncodedParts&) = delete;

    bool isOpen() const override { return m_open; }
    QString error() const override { return m_error; }
    QString unread() const override { return m_unread; }
    qsizetype count() const override { return qsizetype(m_parts.size()); }
    QByteArray label(qsizetype index) const override;
    std::unique_ptr<QIODevice> openDecoded(qsizetype index) const override;

private:
    void collect();

    bool m_open = false;
    QString m_error;
    QString m_unread;
    GMimeMessage* m_message = nullptr;
    std::vector<GMimePart*> m_parts; // referenced by the message, which is kept alive
};

} // namespace scanner
