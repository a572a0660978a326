#include "scanner/headlesssurface.h"

#include "scanner/statusoutput.h"

void HeadlessSurface::setInfo(const QString& text, const QString&)
{
    writeStatusText(text);
}
