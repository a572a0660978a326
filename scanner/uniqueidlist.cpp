#include "scanner/uniqueidlist.h"

#include <QSet>

QHash<qint32, QByteArray> uniqueIdsByNumber(QByteArrayView list)
{
    QHash<qint32, QByteArray> ids;
    QSet<qint32> repeated;
    for (const QByteArray& line : list.toByteArray().split('\n')) {
        const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
        const qsizetype space = text.indexOf(' ');
        bool isNumber = false;
        const qint32 number = space > 0 ? text.first(space).toInt(&isNumber) : 0;
        if (!isNumber || number <= 0) {
            continue;
        }
        if (ids.contains(number)) {
            repeated.insert(number);
        }
        ids.insert(number, text.sliced(space + 1));
    }
    for (qint32 number : repeated) {
        ids.remove(number);
    }
    return ids;
}
