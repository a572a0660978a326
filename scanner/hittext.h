// The alert text of a hit, and its shortened form for the status label.
#pragma once

#include <QString>
#include <functional>

// The whole alert: definition line D, message line M and the saved file's path.
QString hitText(const QString& definition, const QString& messageLine, const QString& savedFile);

// hitText() with D and M cut in their middles ("…") just enough that `fits` accepts it, so that
// the sentence around them, and the path above all, stays readable. The full text when it fits.
QString fittedHitText(const QString& definition, const QString& messageLine,
                      const QString& savedFile, const std::function<bool(const QString&)>& fits);
