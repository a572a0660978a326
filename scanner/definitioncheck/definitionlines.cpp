// Splitting the content of def.dat into its search strings.
#include "scanner/definitioncheck/definitionlines.h"

namespace scanner {

QList<QByteArrayView> splitDefinitionLines(QByteArrayView content)
{
    // Treating CR and LF alike as separators and dropping empty pieces gives exactly the line rule:
    // the empty piece between CR and LF of a CR LF pair, and after a final line end, disappears.
    QList<QByteArrayView> lines;
    const char* pos = content.data();
    const char* const end = pos + content.size();
    while (pos < end) {
        const char* stop = pos;
        while (stop < end && *stop != '\r' && *stop != '\n') {
            ++stop;
        }
        if (stop > pos) {
            lines.append(QByteArrayView(pos, stop - pos));
        }
        pos = stop + 1;
    }
    return lines;
}

} // namespace scanner
