// The console dock of the main window: the active controller's command line and transcript.
#include "kavrixmainwnd.h"

#include "consolewnd.h"
#include "panelscrollarea.h"

#include <QDockWidget>
#include <QMenu>

void KavrixMainWnd::CreateConsoleDock()
{
    consoleDock = new QDockWidget(tr("Console"), this);
    consoleDock->setObjectName(QStringLiteral("consoleDock"));
    consoleWnd = new ConsoleWnd(nullptr);
    consoleWnd->setObjectName(QStringLiteral("consoleWnd"));
    // In a low window the console scrolls rather than raise the window's least height.
    auto* const area = new PanelScrollArea(consoleDock);
    area->setWidget(consoleWnd);
    area->setMinimumHeight(3 * area->fontMetrics().lineSpacing());
    consoleDock->setWidget(area);
    addDockWidget(Qt::BottomDockWidgetArea, consoleDock);
    // Behind "Output", as the preview: the default layout stays, one click shows the console.
    tabifyDockWidget(outputDock, consoleDock);
    outputDock->raise();
    viewMenu->addAction(consoleDock->toggleViewAction());
}
