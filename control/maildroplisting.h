// The unique ids (UIDL) and sizes (LIST) of the whole mailbox from one listing each, so that
// selecting a message and reading its size need no exchange of their own. What a listing cannot be
// trusted with is not used: that message is asked for on its own, as it would be without one.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <functional>
#include <optional>

class MaildropListing {
public:
    // Receives a sentence for the trace about each line not used and each message not listed.
    using Note = std::function<void(const QByteArray&)>;

    // Message numbers a selection can reach (it takes a 16-bit number); lines beyond are not kept.
    static constexpr qint32 kSelectable = 32767;

    void clear();
    bool isEmpty() const { return m_ids.isEmpty() && m_sizes.isEmpty(); }

    // `body`: the listing after its status line, lines "n value" with CR LF between them, for a
    // mailbox of `count` messages. A line is used when its number is decimal digits in 1..count,
    // one space follows, and its number appears on no other line; a unique id must also be 1 to
    // 70 characters of 0x21..0x7E (RFC 1939, 7), and a size must begin with a digit.
    void takeUniqueIds(QByteArrayView body, qint32 count, const Note& note);
    void takeSizes(QByteArrayView body, qint32 count, const Note& note);

    // The listed value for message `number`, or nothing when it must be asked for.
    std::optional<QByteArray> uniqueId(qint32 number) const;
    std::optional<qint32> sizeInBytes(qint32 number) const;

    // A message marked for deletion: the server answers for it no more (RFC 1939, DELE), and
    // neither does the listing.
    void forget(qint32 number);

private:
    QList<QByteArray> m_ids; // by number - 1; null where not listed
    QList<std::optional<qint32>> m_sizes;
};
