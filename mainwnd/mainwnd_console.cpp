// The console dock of the main window: the active controller's command line and transcript.
#include "kavrixmainwnd.h"

#include "consolewnd.h"

#include <QDockWidget>
#include <QMenu>
#include <QScrollArea>

void KavrixMainWnd::CreateConsoleDock()
{
    consoleDock = new QDockWidget(tr("Console"), this);
    consoleDock->setObjectName(QStringLiteral("consoleDock"));
    consoleWnd = new ConsoleWnd(nullptr);
    consoleWnd->setObjectName(QStringLiteral("consoleWnd"));
    // In a small window the console scrolls rather than raise the window's least height or
    // width (its dock shares the bottom with the job panel's).
    auto* const area = new QScrollArea(consoleDock);
    area->setWidgetResizable(true);
    area->setWidget(consoleWnd);
    area->setMinimumHeight(3 * area->fontMetrics().lineSpacing());
    consoleDock->setWidget(area);
    addDockWidget(Qt::BottomDockWidgetArea, consoleDock);
    // Behind "Output", as the preview: the default layout stays, one click shows the console.
    tabifyDockWidget(outputDock, consoleDock);
    outputDock->raise();
    viewMenu->addAction(consoleDock->toggleViewAction());
}
