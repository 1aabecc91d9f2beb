// The "Toolpath" dock: the job of the current tab in 3D, the part of it a run has done, and
// the active controller's tool. RAM programs are not drawn here: the "Program Preview" dock
// shows them with what only they have (park, reference and zero point jumps, the lines the
// check refused, the editor's cursor line), and a program of at most 100 lines needs no
// 3D view to be read.
#include "kavrixmainwnd.h"

#include "jobdocument.h"
#include "kavrixkernel.h"
#include "programpreview.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "toolpathpanel.h"

#include <QDockWidget>
#include <QMenu>

#include <cmath>

void KavrixMainWnd::CreateToolpathDock()
{
    toolpathDock = new QDockWidget(tr("Toolpath"), this);
    toolpathDock->setObjectName(QStringLiteral("toolpathDock"));
    toolpathPanel = new toolpath::ToolpathPanel(toolpathDock);
    toolpathPanel->setObjectName(QStringLiteral("toolpathPanel"));
    toolpathDock->setWidget(toolpathPanel);
    addDockWidget(Qt::BottomDockWidgetArea, toolpathDock);
    // Behind "Output" and "Program Preview": the default layout stays as it was.
    tabifyDockWidget(previewDock, toolpathDock);
    outputDock->raise();
    viewMenu->addAction(toolpathDock->toggleViewAction());
    connect(this, &KavrixMainWnd::CurrentJobDocumentChanged, this,
            &KavrixMainWnd::ShowJobInToolpath);
}

void KavrixMainWnd::ShowJobInToolpath(JobDocument* document)
{
    if (toolpathDocument)
        disconnect(toolpathDocument, nullptr, toolpathPanel, nullptr);
    toolpathDocument = document;
    const auto showProgram = [this] {
        const JobDocument* const doc = toolpathDocument;
        const std::shared_ptr<const gcode::Program> program = doc ? doc->program() : nullptr;
        toolpathPanel->setProgram(program);
        toolpathPanel->setLinesDone(doc ? doc->linesDone() : 0);
        // The travel box of the machine the program was interpreted for, and the work origin
        // of its start: work position = machine position - (work offset + G92 + tool length).
        const gcode::Program::Options options = program ? program->options()
                                                        : gcode::Program::Options{};
        toolpathPanel->setMachine(options.machine);
        const gcode::State& start = options.start;
        const float* offset = start.workOffsets[start.workSystem % 6];
        toolpathPanel->setWorkOrigin(QVector3D(offset[0] + start.g92Offset[0],
                                               offset[1] + start.g92Offset[1],
                                               offset[2] + start.g92Offset[2]
                                                   + start.toolLengthOffset));
    };
    showProgram();
    if (!document)
        return;
    connect(document, &JobDocument::loaded, toolpathPanel, showProgram);
    connect(document, &JobDocument::runProgressChanged, toolpathPanel,
            [this](uint32_t, uint32_t linesDone) { toolpathPanel->setLinesDone(linesDone); });
    // A new run starts with nothing done, without a progress report.
    connect(document, &JobDocument::runChanged, toolpathPanel,
            [this, document] { toolpathPanel->setLinesDone(document->linesDone()); });
    // A document closed without a change of tab leaves nothing behind.
    connect(document, &QObject::destroyed, toolpathPanel,
            [this] { toolpathPanel->setProgram(nullptr); });
}

void KavrixMainWnd::UpdateToolpathPosition()
{
    if (!toolpathPanel)
        return;
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller || !controller->IsConnected() || controller->IsInFirmwareMode()) {
        toolpathPanel->setToolPosition(std::nullopt);
        return;
    }
    // Steps to millimetres with the controller's resolutions, as the program preview does.
    double stepsPerMm[3] = {DefaultPreviewStepsPerMm, DefaultPreviewStepsPerMm,
                            DefaultPreviewStepsPerMm};
    const TarvoParameters& p = controller->GetParameters();
    if (p.IsDefined()) {
        const double resolutions[3] = {p.MECHANIK_AUFLOESUNG_X_FLOAT,
                                       p.MECHANIK_AUFLOESUNG_Y_FLOAT,
                                       p.MECHANIK_AUFLOESUNG_Z_FLOAT};
        for (int a = 0; a < 3; ++a) {
            if (std::isfinite(resolutions[a]) && resolutions[a] > 0)
                stepsPerMm[a] = resolutions[a];
        }
    }
    const TarvoStatus& status = controller->GetStatus();
    toolpathPanel->setToolPosition(QVector3D(float(status.posX / stepsPerMm[0]),
                                             float(status.posY / stepsPerMm[1]),
                                             float(status.posZ / stepsPerMm[2])));
}
