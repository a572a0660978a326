#include "scanner/clamav/clamdreply.h"

namespace scanner {

ClamdReply parseClamdReply(const QByteArray& record)
{
    ClamdReply reply;
    reply.text = record;
    QByteArray rest = record;
    const qsizetype colon = record.indexOf(": ");
    if (colon > 0 && !record.left(colon).contains(' ')) {
        reply.subject = record.left(colon);
        rest = record.mid(colon + 2);
    }
    if (rest == "OK" && !reply.subject.isEmpty()) {
        reply.kind = ClamdReply::Kind::Clean;
    } else if (rest.endsWith(" FOUND") && !reply.subject.isEmpty()) {
        reply.kind = ClamdReply::Kind::Found;
        reply.text = rest.chopped(6);
    }
    return reply;
}

QByteArrayList clamdRecords(const QByteArray& received)
{
    QByteArrayList records = received.split('\0');
    records.removeLast(); // empty, or cut short
    return records;
}

} // namespace scanner
