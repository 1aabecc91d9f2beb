// G-code job files in the main window.
#include "kavrixmainwnd.h"

#include "jobdocument.h"

JobDocument* KavrixMainWnd::CurrentJobDocument() const
{
    return nullptr;
}
