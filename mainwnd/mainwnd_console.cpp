// The console dock of the main window: the active controller's command line and transcript.
#include "kavrixmainwnd.h"

#include "consolewnd.h"

#include <QDockWidget>
#include <QMenu>

void KavrixMainWnd::CreateConsoleDock()
{
    consoleDock = new QDockWidget(tr("Console"), this);
    consoleDock->setObjectName(QStringLiteral("consoleDock"));
    consoleWnd = new ConsoleWnd(consoleDock);
    consoleWnd->setObjectName(QStringLiteral("consoleWnd"));
    consoleDock->setWidget(consoleWnd);
    addDockWidget(Qt::BottomDockWidgetArea, consoleDock);
    // Behind "Output", as the preview: the default layout stays, one click shows the console.
    tabifyDockWidget(outputDock, consoleDock);
    outputDock->raise();
    viewMenu->addAction(consoleDock->toggleViewAction());
}
