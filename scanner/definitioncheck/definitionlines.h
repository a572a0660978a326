// Splitting the content of def.dat into its search strings.
#pragma once

#include <QByteArrayView>
#include <QList>

namespace scanner {

struct DefinitionLines {
    // Bytes exactly as written (inner and outer blanks included), duplicates kept, in file order.
    // The views point into the content given.
    QList<QByteArrayView> lines;
    // Lines of only blanks and tabs, which were dropped.
    qsizetype blankLines = 0;
};

// Every line of the definition file is one search string. CR LF, a lone CR and a lone LF each end
// a line, so a file saved with Unix line ends does not collapse into a single search string. A
// leading UTF-8 byte-order mark, which editors write, is not part of the first line. Empty lines
// and lines of only blanks and tabs are dropped: such a search string would be found in nearly
// every message line.
DefinitionLines splitDefinitionLines(QByteArrayView content);

} // namespace scanner
