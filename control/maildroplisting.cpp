#include "control/maildroplisting.h"

#include "control/replyparser.h"

#include <algorithm>

namespace {

constexpr qsizetype kLongestUniqueId = 70;
constexpr qsizetype kLongestNumber = 9; // fits 32 bits
// A hostile line may be megabytes long; the trace names it by its start.
constexpr qsizetype kNamedLineLimit = 512;

using ValueCheck = bool (*)(QByteArrayView);

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isUniqueId(QByteArrayView value)
{
    return !value.isEmpty() && value.size() <= kLongestUniqueId &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

bool isSize(QByteArrayView value)
{
    return !value.isEmpty() && isDigit(value.front());
}

// The number of a line "n value", or 0 when it has none in 1..count.
qint32 lineNumber(QByteArrayView line, qint32 count, QByteArrayView* value)
{
    const qsizetype space = line.indexOf(' ');
    if (space < 1 || space > kLongestNumber ||
        !std::all_of(line.begin(), line.begin() + space, isDigit)) {
        return 0;
    }
    const qint64 number = line.first(space).toLongLong();
    if (number < 1 || number > count) {
        return 0;
    }
    *value = line.sliced(space + 1);
    return qint32(number);
}

QByteArray named(QByteArrayView line)
{
    return line.first(std::min(line.size(), kNamedLineLimit)).toByteArray();
}

template <class Visit> void forEachLine(QByteArrayView body, Visit visit)
{
    for (qsizetype from = 0; !body.isEmpty() && from <= body.size();) {
        qsizetype end = body.indexOf("\r\n", from);
        end = end < 0 ? body.size() : end;
        visit(body.sliced(from, end - from));
        from = end + 2;
    }
}

// The value of each message's one good line, null where there is none; every line not used and
// every message without a line is noted.
QList<QByteArray> listedValues(QByteArrayView body, qint32 count, const char* command,
                               ValueCheck check, const MaildropListing::Note& note)
{
    const qint32 kept = std::clamp(count, 0, MaildropListing::kSelectable);
    QList<QByteArray> values(kept);
    QList<QByteArrayView> lines(kept); // the line each value came from
    QList<bool> seen(kept, false);
    const QByteArray notUsed =
        QByteArray(command) + " listing line not used, " + command + " n instead: ";
    forEachLine(body, [&](QByteArrayView line) {
        QByteArrayView value;
        const qint32 number = lineNumber(line, count, &value);
        if (number == 0) {
            note(notUsed + named(line));
        } else if (number <= kept && seen[number - 1]) {
            // Which of two lines is right cannot be told: neither is used.
            if (!values[number - 1].isNull()) {
                note(notUsed + named(lines[number - 1]));
            }
            note(notUsed + named(line));
            values[number - 1] = QByteArray();
        } else if (number <= kept) { // beyond, no selection can reach it
            seen[number - 1] = true;
            if (check(value)) {
                values[number - 1] = value.toByteArray();
                lines[number - 1] = line;
            } else {
                note(notUsed + named(line));
            }
        }
    });
    for (qint32 n = 1; n <= kept; ++n) {
        if (!seen[n - 1]) {
            note(QByteArray(command) + " listing has no line for message " + QByteArray::number(n) +
                 ", " + command + " n instead");
        }
    }
    return values;
}

} // namespace

void MaildropListing::clear()
{
    m_ids.clear();
    m_sizes.clear();
}

void MaildropListing::takeUniqueIds(QByteArrayView body, qint32 count, const Note& note)
{
    m_ids = listedValues(body, count, "UIDL", isUniqueId, note);
}

void MaildropListing::takeSizes(QByteArrayView body, qint32 count, const Note& note)
{
    const QList<QByteArray> values = listedValues(body, count, "LIST", isSize, note);
    m_sizes = QList<std::optional<qint32>>(values.size(), std::nullopt);
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (!values[i].isNull()) {
            // Read as LIST n's reply is read, so that both give the same size.
            m_sizes[i] = replyparser::leadingNumber(values[i]);
        }
    }
}

std::optional<QByteArray> MaildropListing::uniqueId(qint32 number) const
{
    if (number < 1 || number > m_ids.size() || m_ids[number - 1].isNull()) {
        return std::nullopt;
    }
    return m_ids[number - 1];
}

std::optional<qint32> MaildropListing::sizeInBytes(qint32 number) const
{
    if (number < 1 || number > m_sizes.size()) {
        return std::nullopt;
    }
    return m_sizes[number - 1];
}

void MaildropListing::forget(qint32 number)
{
    if (number >= 1 && number <= m_ids.size()) {
        m_ids[number - 1] = QByteArray();
    }
    if (number >= 1 && number <= m_sizes.size()) {
        m_sizes[number - 1] = std::nullopt;
    }
}
