// Splitting the content of def.dat into its search strings.
#include "scanner/definitioncheck/definitionlines.h"

#include <algorithm>

namespace scanner {

DefinitionLines splitDefinitionLines(QByteArrayView content)
{
    if (content.startsWith("\xEF\xBB\xBF")) {
        content = content.sliced(3);
    }
    // Treating CR and LF alike as separators and dropping empty pieces gives exactly the line rule:
    // the empty piece between CR and LF of a CR LF pair, and after a final line end, disappears.
    DefinitionLines result;
    const char* pos = content.data();
    const char* const end = pos + content.size();
    while (pos < end) {
        const char* stop = pos;
        while (stop < end && *stop != '\r' && *stop != '\n') {
            ++stop;
        }
        const bool blank = std::all_of(pos, stop, [](char c) { return c == ' ' || c == '\t'; });
        if (stop > pos && blank) {
            ++result.blankLines;
        } else if (stop > pos) {
            result.lines.append(QByteArrayView(pos, stop - pos));
        }
        pos = stop + 1;
    }
    return result;
}

} // namespace scanner
