// The window's hooks where the window is linked in rather than loaded: tests run in-process.
#include "scanner/scanhooks.h"
#include "scanner/windowkit.h"

ScanHooks ScanHooks::real()
{
    return withWindow(*OrselWindowKit());
}
