// Splitting the content of def.dat into its search strings.
#pragma once

#include <QByteArrayView>
#include <QList>

namespace scanner {

// Every line of the definition file is one search string, bytes exactly as written (blanks
// included). CR LF, a lone CR and a lone LF each end a line, so a file saved with Unix line ends
// does not collapse into a single search string. Empty lines are dropped: an empty search string
// would be found in every message line. Duplicates stay, in file order. The views point into
// content.
QList<QByteArrayView> splitDefinitionLines(QByteArrayView content);

} // namespace scanner
