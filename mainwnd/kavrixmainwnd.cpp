// The frame of the main window: construction, actions, menus, tool bar, docks, keeping the
// active controller, the controller tabs and the list selection in step, the enabling rules,
// the command destination switch, the close handling and the about box.

#include "kavrixmainwnd.h"

#include "dialogs.h"
#include "jogkeys.h"
#include "popupescape.h"
#include "jobhistory.h"
#include "kavrixkernel.h"
#include "kavroversion.h"
#include "manualcommands.h"
#include "manualcontrolwnd.h"
#include "programpreview.h"
#include "quenta.h"
#include "panelscrollarea.h"
#include "statuswnd.h"
#include "tarvocontroller.h"
#include "tarvoparameters.h"
#include "tarvoprogedit.h"
#include "tarvostatus.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextEdit>
#include <QTime>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
#include <optional>

KavrixMainWnd::KavrixMainWnd(QWidget* parent)
    : QMainWindow(parent)
{
    //: The program's name: the same in every language.
    setWindowTitle(tr("KavrixMulti"));
    setWindowIcon(QIcon(QStringLiteral(":/images/symbol_lumbrix.png")));

    editorTabWidget = new QTabWidget(this);
    editorTabWidget->setObjectName(QStringLiteral("editorTabWidget"));
    editorTabWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    editorTabWidget->setTabsClosable(true);
    connect(editorTabWidget, &QTabWidget::currentChanged, this,
            &KavrixMainWnd::SlotCurrentEditTabChanged);
    connect(editorTabWidget, &QTabWidget::tabCloseRequested, this,
            &KavrixMainWnd::SlotEditTabCloseRequested);
    setCentralWidget(editorTabWidget);

    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateStatusBar();
    CreateDockWindows();
    CreatePreviewDock();
    CreateShopDocks();
    CreateConsoleDock();
    CreateJobDock();
    CreateToolpathDock();
    ConnectShopToJobs();
    // The right docks reach down to the window's bottom edge, beside the log and the job
    // panel rather than above them: in a small window the status panel keeps its height.
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    CreateShortcuts();
    CreateJobFiles();
    CreateRunOnMachines();
    CreateControllerTabs();
    UpdateActions();
    SlotFileNew();
    resize(1200, 600);
    RestoreLayout();

    KavrixKernel* const kernel = KavrixKernel::Instance();
    connect(kernel, &KavrixKernel::SignalControllerAdded, this,
            &KavrixMainWnd::SlotControllerAdded);
    connect(kernel, &KavrixKernel::SignalControllerRemoved, this,
            &KavrixMainWnd::SlotControllerRemoved);
    connect(kernel, &KavrixKernel::SignalActiveControllerChanged, this,
            &KavrixMainWnd::SlotActiveControllerChanged);
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this,
            &KavrixMainWnd::SlotUpdateControllerStatus);
    connect(kernel, &KavrixKernel::SignalUpdateControllerStatus, this,
            &KavrixMainWnd::LogControllerReport);
    connect(kernel, &KavrixKernel::SignalTimeoutDisconnect, this,
            &KavrixMainWnd::SlotControllerTimeoutDisconnect);
    connect(kernel, &KavrixKernel::SignalCommandToEdit, this, &KavrixMainWnd::SlotCommandToEdit);

    SlotActiveControllerChanged(kernel->GetActiveControllerPort());
    // The current panel is part of the first paint, and its size sets the dock's width.
    GetControlPanel(controllerTabWidget->currentIndex());
}

KavrixMainWnd::~KavrixMainWnd() = default;

void KavrixMainWnd::CreateActions()
{
    const auto make = [this](const QString& text, const QString& statusTip) {
        auto* const action = new QAction(text, this);
        action->setStatusTip(statusTip);
        return action;
    };

    actions.fileNew = make(tr("&New"), tr("New programm"));
    actions.fileNew->setShortcut(QKeySequence(tr("Ctrl+N")));
    connect(actions.fileNew, &QAction::triggered, this, &KavrixMainWnd::SlotFileNew);

    actions.fileOpen = make(tr("&Open"), tr("Load programm from file"));
    actions.fileOpen->setShortcut(QKeySequence(tr("Ctrl+O")));
    connect(actions.fileOpen, &QAction::triggered, this, &KavrixMainWnd::SlotFileOpen);

    actions.fileClose = make(tr("&Close"), tr("Close programm"));
    connect(actions.fileClose, &QAction::triggered, this, &KavrixMainWnd::SlotFileClose);

    actions.fileSave = make(tr("&Save"), tr("Save programm to file "));
    actions.fileSave->setShortcut(QKeySequence(tr("Ctrl+S")));
    connect(actions.fileSave, &QAction::triggered, this, &KavrixMainWnd::SlotFileSave);

    actions.fileSaveAs = make(tr("&SaveAs"), tr("Save programm to a different file"));
    connect(actions.fileSaveAs, &QAction::triggered, this, &KavrixMainWnd::SlotFileSaveAs);

    actions.quit = make(tr("&Quit"), tr("Quit the application"));
    actions.quit->setShortcut(QKeySequence(tr("Ctrl+Q")));
    connect(actions.quit, &QAction::triggered, this, &QWidget::close);

    actions.controllerAdd = make(tr("&Add Controller..."), tr("Add Contoller"));
    // The platform's New key where it is not already "&New"'s Ctrl+N (two actions on one
    // key make Qt fire neither); otherwise Ctrl+Shift+N.
    const QList<QKeySequence> newKeys = QKeySequence::keyBindings(QKeySequence::New);
    if (!newKeys.isEmpty() && !newKeys.contains(actions.fileNew->shortcut()))
        actions.controllerAdd->setShortcuts(QKeySequence::New);
    else
        actions.controllerAdd->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    actions.controllerAdd->setToolTip(tr("Add Contoller"));
    actions.controllerAdd->setIcon(QIcon(QStringLiteral(":/images/new.png")));
    connect(actions.controllerAdd, &QAction::triggered, this, &KavrixMainWnd::SlotControllerAdd);

    actions.controllerEdit =
        make(tr("&Edit COM port settings..."), tr("Edit controller's COM port settings"));
    actions.controllerEdit->setToolTip(tr("COM port settings"));
    connect(actions.controllerEdit, &QAction::triggered, this,
            &KavrixMainWnd::SlotControllerEdit);

    actions.controllerRemove = make(tr("&Remove Controller"), tr("Remove Contoller"));
    actions.controllerRemove->setShortcut(QKeySequence::Delete);
    // Delete removes a controller only from the controller list (the action is added to the
    // list view in CreateDockWindows): pressed in the output log or an editor it must not take
    // a moving machine's panel, and its stop buttons, away.
    actions.controllerRemove->setShortcutContext(Qt::WidgetShortcut);
    actions.controllerRemove->setIcon(QIcon(QStringLiteral(":/images/delete.png")));
    connect(actions.controllerRemove, &QAction::triggered, this,
            &KavrixMainWnd::SlotControllerRemove);

    actions.controllerConnect = make(tr("&Connect"), tr("Connect to controller"));
    actions.controllerConnect->setToolTip(tr("Connect to controller"));
    connect(actions.controllerConnect, &QAction::triggered, this,
            &KavrixMainWnd::SlotControllerConnect);

    actions.controllerDisconnect = make(tr("&Disconnect"), tr("Disconnect from controller"));
    actions.controllerDisconnect->setToolTip(tr("Disconnect from controller"));
    connect(actions.controllerDisconnect, &QAction::triggered, this,
            &KavrixMainWnd::SlotControllerDisconnect);

    actions.controllerFirmwareUpdate = make(tr("&Firmware Update..."), tr("Firmware Update"));
    actions.controllerFirmwareUpdate->setToolTip(tr("Firmware Update"));
    connect(actions.controllerFirmwareUpdate, &QAction::triggered, this,
            &KavrixMainWnd::SlotControllerFirmwareUpdate);

    actions.parameterLoad = make(tr("&Load..."), tr("Load parameters to file"));
    actions.parameterLoad->setToolTip(tr("Load from file"));
    connect(actions.parameterLoad, &QAction::triggered, this,
            &KavrixMainWnd::SlotParameterLoadFromFile);

    actions.parameterSave = make(tr("&Save"), tr("Save parameters to file"));
    actions.parameterSave->setToolTip(tr("Save"));
    connect(actions.parameterSave, &QAction::triggered, this, &KavrixMainWnd::SlotParameterSave);

    actions.parameterSaveAs = make(tr("Save &as..."), tr("Save parameters to selected file"));
    actions.parameterSaveAs->setToolTip(tr("Save as"));
    connect(actions.parameterSaveAs, &QAction::triggered, this,
            &KavrixMainWnd::SlotParameterSaveAs);

    actions.parameterRead =
        make(tr("&Read from controller"), tr("Read parameters from aktive controller"));
    actions.parameterRead->setToolTip(tr("Read from controller"));
    connect(actions.parameterRead, &QAction::triggered, this,
            &KavrixMainWnd::SlotParameterReadFromController);

    actions.parameterWrite =
        make(tr("&Write to controller"), tr("Write parameters to aktive controller"));
    actions.parameterWrite->setToolTip(tr("Write parameters to aktive to controller"));
    connect(actions.parameterWrite, &QAction::triggered, this,
            &KavrixMainWnd::SlotParameterWriteToController);

    actions.parameterReset = make(tr("&Reset"), tr("Reset parameters"));
    actions.parameterReset->setToolTip(tr("Reset parameters"));
    connect(actions.parameterReset, &QAction::triggered, this,
            &KavrixMainWnd::SlotParameterReset);

    actions.parameterEdit = make(tr("&Edit..."), tr("Edit parameters"));
    actions.parameterEdit->setToolTip(tr("Edit parameters"));
    connect(actions.parameterEdit, &QAction::triggered, this, &KavrixMainWnd::SlotParameterEdit);

    destinationGroup = new QActionGroup(this);
    destinationGroup->setExclusive(true);

    actions.commandsToEditor =
        make(tr("Commands to editor"), tr("Write commands to program editor"));
    actions.commandsToEditor->setToolTip(tr("Write commands to program editor"));
    actions.commandsToEditor->setCheckable(true);
    destinationGroup->addAction(actions.commandsToEditor);
    connect(actions.commandsToEditor, &QAction::triggered, this,
            &KavrixMainWnd::SlotChangeCommandDestination);

    actions.commandsToController =
        make(tr("Commands to controller"), tr("Send commands directly to controller"));
    actions.commandsToController->setToolTip(tr("Send commands directly to controller"));
    actions.commandsToController->setCheckable(true);
    destinationGroup->addAction(actions.commandsToController);
    connect(actions.commandsToController, &QAction::triggered, this,
            &KavrixMainWnd::SlotChangeCommandDestination);
    actions.commandsToController->setChecked(true);
    // The destination always starts at "controller"; setting it must not warn.
    skipNextDestinationWarning = true;
    SlotChangeCommandDestination();

    actions.ramProgrammWrite = make(tr("Write &Programm into controller RAM"),
                                    tr("Write Programm into controller RAM"));
    actions.ramProgrammWrite->setToolTip(tr("Write Programm into controller RAM"));
    connect(actions.ramProgrammWrite, &QAction::triggered, this,
            &KavrixMainWnd::SlotRAMProgrammWrite);

    //: A machine text of the RAM programs: German in every language.
    const QString startTip = tr("RAM-Programm starten");
    actions.ramProgrammStart = make(tr("&Start RAM-Programm"), startTip);
    actions.ramProgrammStart->setToolTip(tr("RAM-Rrogramm starten"));
    connect(actions.ramProgrammStart, &QAction::triggered, this,
            &KavrixMainWnd::SlotRAMProgrammStart);

    actions.about = make(tr("&About"), tr("Show the application's About box"));
    connect(actions.about, &QAction::triggered, this, &KavrixMainWnd::SlotHelpAbout);

    actions.aboutQt = make(tr("About &Qt"), tr("Show the Qt library's About box"));
    connect(actions.aboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);

    actions.controllerPorts =
        make(tr("&Ports..."), tr("Map COM ports to the simulator or to serial devices"));
    actions.controllerPorts->setToolTip(tr("Map COM ports to the simulator or to serial devices"));
    connect(actions.controllerPorts, &QAction::triggered, this,
            &KavrixMainWnd::SlotControllerPorts);
}

void KavrixMainWnd::CreateMenus()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(actions.fileNew);
    fileMenu->addAction(actions.fileOpen);
    fileMenu->addAction(actions.fileClose);
    fileMenu->addSeparator();
    fileMenu->addAction(actions.fileSave);
    fileMenu->addAction(actions.fileSaveAs);
    fileMenu->addSeparator();
    fileMenu->addAction(actions.quit);

    controllerMenu = menuBar()->addMenu(tr("&Controller"));
    controllerMenu->addAction(actions.controllerConnect);
    controllerMenu->addAction(actions.controllerDisconnect);
    controllerMenu->addSeparator();
    controllerMenu->addAction(actions.controllerFirmwareUpdate);
    controllerMenu->addSeparator();
    controllerMenu->addAction(actions.controllerAdd);
    controllerMenu->addAction(actions.controllerRemove);
    controllerMenu->addAction(actions.controllerEdit);
    controllerMenu->addSeparator();
    controllerMenu->addAction(actions.controllerPorts);

    parametersMenu = menuBar()->addMenu(tr("&Parameters"));
    parametersMenu->addAction(actions.parameterRead);
    parametersMenu->addAction(actions.parameterWrite);
    parametersMenu->addSeparator();
    parametersMenu->addAction(actions.parameterLoad);
    parametersMenu->addAction(actions.parameterSave);
    parametersMenu->addAction(actions.parameterSaveAs);
    parametersMenu->addSeparator();
    parametersMenu->addAction(actions.parameterReset);
    parametersMenu->addSeparator();
    parametersMenu->addAction(actions.parameterEdit);

    programmMenu = menuBar()->addMenu(tr("&Programm"));
    programmMenu->addAction(actions.commandsToController);
    programmMenu->addAction(actions.commandsToEditor);
    programmMenu->addSeparator();
    programmMenu->addAction(actions.ramProgrammWrite);
    programmMenu->addAction(actions.ramProgrammStart);

    viewMenu = menuBar()->addMenu(tr("&View"));

    menuBar()->addSeparator();

    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(actions.about);
    helpMenu->addAction(actions.aboutQt);
}

void KavrixMainWnd::CreateToolBars()
{
    mainToolBar = addToolBar(tr("Main tool bar"));
    mainToolBar->setObjectName(QStringLiteral("mainToolBar"));
    mainToolBar->addAction(actions.controllerConnect);
    mainToolBar->addAction(actions.controllerDisconnect);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actions.parameterEdit);
    mainToolBar->addSeparator();
    mainToolBar->addAction(actions.commandsToController);
    mainToolBar->addAction(actions.commandsToEditor);
    viewMenu->addAction(mainToolBar->toggleViewAction());
}

void KavrixMainWnd::CreateStatusBar()
{
    statusBar()->showMessage(tr("Ready"));
}

void KavrixMainWnd::CreateDockWindows()
{
    controlDock = new QDockWidget(tr("Control"), this);
    controlDock->setObjectName(QStringLiteral("controlDock"));
    controllerTabWidget = new QTabWidget(controlDock);
    controllerTabWidget->setObjectName(QStringLiteral("controllerTabWidget"));
    // However narrow the dock, every controller's tab stays reachable by the tab bar's arrows,
    // and its port name is never cut.
    controllerTabWidget->setUsesScrollButtons(true);
    controllerTabWidget->setElideMode(Qt::ElideNone);
    controlDock->setWidget(controllerTabWidget);
    addDockWidget(Qt::LeftDockWidgetArea, controlDock);
    connect(controllerTabWidget, &QTabWidget::currentChanged, this,
            &KavrixMainWnd::SlotCurrentControllerTabChanged);
    resizeDocks({controlDock}, {controlDock->sizeHint().width()}, Qt::Horizontal);
    viewMenu->addAction(controlDock->toggleViewAction());

    controllerListDock = new QDockWidget(tr("Controller List"), this);
    controllerListDock->setObjectName(QStringLiteral("controllerListDock"));
    controllerListView = new QTreeView(controllerListDock);
    controllerListView->setObjectName(QStringLiteral("controllerListView"));
    controllerListView->setRootIsDecorated(false);
    controllerListView->setModel(KavrixKernel::Instance()->GetControllerModel());
    // Every column as wide as its longest entry ("disconnected" too): in a narrow dock the
    // list scrolls sideways rather than cut a word.
    controllerListView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    controllerListView->addAction(actions.controllerRemove);
    controllerListDock->setWidget(controllerListView);
    addDockWidget(Qt::RightDockWidgetArea, controllerListDock);
    connect(controllerListView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &KavrixMainWnd::SlotControllerListCurrentChanged);
    viewMenu->addAction(controllerListDock->toggleViewAction());

    activeControllerDock = new QDockWidget(tr("Active Controller"), this);
    activeControllerDock->setObjectName(QStringLiteral("activeControllerDock"));
    statusWnd = new StatusWnd(nullptr);
    auto* const statusArea = new PanelScrollArea(activeControllerDock);
    statusArea->setWidget(statusWnd);
    activeControllerDock->setWidget(statusArea);
    addDockWidget(Qt::RightDockWidgetArea, activeControllerDock);
    splitDockWidget(controllerListDock, activeControllerDock, Qt::Vertical);
    // The list needs a few rows; the status panel below gets the height, so in a small window
    // its inputs and buffer stay in view.
    const int line = controllerListView->fontMetrics().lineSpacing();
    resizeDocks({controllerListDock, activeControllerDock},
                {7 * line, activeControllerDock->sizeHint().height()}, Qt::Vertical);
    viewMenu->addAction(activeControllerDock->toggleViewAction());

    outputDock = new QDockWidget(tr("Output"), this);
    outputDock->setObjectName(QStringLiteral("outputDock"));
    outputLog = new QTextEdit(outputDock);
    outputLog->setObjectName(QStringLiteral("outputLog"));
    outputLog->setReadOnly(true);
    outputDock->setWidget(outputLog);
    addDockWidget(Qt::BottomDockWidgetArea, outputDock);
    connect(KavrixKernel::Instance(), &KavrixKernel::SignalCommandToOutput, this,
            &KavrixMainWnd::AppendToOutput);
    viewMenu->addAction(outputDock->toggleViewAction());
    // The log starts a few lines high: in a small window the height goes to the panels.
    resizeDocks({outputDock}, {7 * outputLog->fontMetrics().lineSpacing()}, Qt::Vertical);
}

void KavrixMainWnd::CreatePreviewDock()
{
    previewDock = new QDockWidget(tr("Program Preview"), this);
    previewDock->setObjectName(QStringLiteral("previewDock"));
    programPreview = new ProgramPreview(previewDock);
    previewDock->setWidget(programPreview);
    addDockWidget(Qt::BottomDockWidgetArea, previewDock);
    // Behind "Output": the default layout stays as it was, one click shows the drawing.
    tabifyDockWidget(outputDock, previewDock);
    outputDock->raise();
    viewMenu->addAction(previewDock->toggleViewAction());
}

void KavrixMainWnd::UpdatePreviewMachine()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    std::optional<std::array<double, 4>> stepsPerMm;
    std::array<int32_t, 4> park{};
    if (controller && controller->GetParameters().IsDefined()) {
        const TarvoParameters& p = controller->GetParameters();
        stepsPerMm = std::array<double, 4>{
            p.MECHANIK_AUFLOESUNG_X_FLOAT, p.MECHANIK_AUFLOESUNG_Y_FLOAT,
            p.MECHANIK_AUFLOESUNG_Z_FLOAT, p.MECHANIK_AUFLOESUNG_C_FLOAT};
        std::copy(std::begin(p.MECHANIK_PARKPOSITION_LONG),
                  std::end(p.MECHANIK_PARKPOSITION_LONG), park.begin());
    }
    // Rebuilding costs little, but not on every status report: only when something changed.
    if (stepsPerMm == previewStepsPerMm && park == previewPark)
        return;
    previewStepsPerMm = stepsPerMm;
    previewPark = park;
    programPreview->SetMachine(stepsPerMm, park);
}

void KavrixMainWnd::UpdatePreviewPosition()
{
    UpdateToolpathPosition();
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller || !controller->IsConnected() || controller->IsInFirmwareMode()) {
        programPreview->SetCurrentPosition(std::nullopt);
        return;
    }
    const TarvoStatus& status = controller->GetStatus();
    programPreview->SetCurrentPosition(
        std::array<int32_t, 4>{status.posX, status.posY, status.posZ, status.posC});
}

void KavrixMainWnd::CreateShortcuts()
{
    auto* const stopAll = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    stopAll->setObjectName(QStringLiteral("stopAllShortcut"));
    stopAll->setContext(Qt::WindowShortcut);
    connect(stopAll, &QShortcut::activated, this, &KavrixMainWnd::SlotStopAllControllers);
    new PopupEscape(this);

    new JogKeys(this, [this](int axis, int direction) { PressJogButton(axis, direction); });
}

void KavrixMainWnd::PressJogButton(int axis, int direction)
{
    const ManualControlWnd* const panel = GetControlPanel(controllerTabWidget->currentIndex());
    if (!panel)
        return;
    // click() runs the button's own slot: guard, question, range check, command line.
    if (QPushButton* const button = panel->JogButton(axis, direction);
        button && button->isEnabled())
        button->click();
}

void KavrixMainWnd::SlotStopAllControllers()
{
    for (TarvoController* const controller : KavrixKernel::Instance()->GetControllers()) {
        // A port open for the bootloader carries no commands.
        if (!controller->IsConnected() || controller->IsInFirmwareMode())
            continue;
        ManualCommands::NotHalt()(controller->GetPortSettings());
        LogAction(tr("Emergency stop (Not Halt) sent to %1").arg(controller->GetComPort()));
    }
}

void KavrixMainWnd::RestoreLayout()
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("MainWindow"));
    const QByteArray savedGeometry = settings.value(QStringLiteral("geometry")).toByteArray();
    const QByteArray savedState = settings.value(QStringLiteral("state")).toByteArray();
    settings.endGroup();
    if (savedGeometry.isEmpty())
        return;  // the first start: 1200 x 600 and the default dock areas
    const QRect defaultGeometry = geometry();
    const QByteArray defaultState = saveState();
    if (!restoreGeometry(savedGeometry)) {
        setGeometry(defaultGeometry);
        return;
    }
    // A layout saved on a larger or a detached screen falls back to the default one.
    const QScreen* const screen = QGuiApplication::screenAt(geometry().center());
    if (!screen || !screen->availableGeometry().contains(geometry())) {
        setWindowState(Qt::WindowNoState);
        setGeometry(defaultGeometry);
        return;
    }
    if (!savedState.isEmpty() && !restoreState(savedState))
        restoreState(defaultState);
}

void KavrixMainWnd::SaveLayout() const
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("MainWindow"));
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("state"), saveState());
    settings.endGroup();
}

void KavrixMainWnd::CreateControllerTabs()
{
    for (const TarvoController* const controller : KavrixKernel::Instance()->GetControllers())
        SlotControllerAdded(controller->GetComPort());
}

void KavrixMainWnd::AppendToOutput(const QString& text)
{
    // Operator text (program lines, file contents in messages) must show as typed, so the
    // paragraph is inserted as plain text rather than through append()'s rich-text guess.
    QScrollBar* const bar = outputLog->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextCursor cursor(outputLog->document());
    cursor.movePosition(QTextCursor::End);
    if (!outputLog->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(text);
    if (atBottom)
        bar->setValue(bar->maximum());
}

void KavrixMainWnd::LogAction(const QString& text)
{
    AppendToOutput(QTime::currentTime().toString(QStringLiteral("[HH:mm:ss] ")) + text);
}

void KavrixMainWnd::LogControllerReport(const QString& port)
{
    TarvoController* const controller = KavrixKernel::Instance()->FindController(port);
    if (!controller)
        return;
    const uint8_t error = controller->IsConnected() ? controller->GetStatus().errorCode : 0;
    if (error != loggedErrors.value(port)) {
        loggedErrors.insert(port, error);
        if (error != 0)
            LogAction(tr("%1: controller error %2")
                          .arg(port, controller->GetStatus().GetErrorText()));
    }
    for (const TarvoStatus::RamEnd& end : controller->GetStatus().TakeRamEnds()) {
        const QString passes = end.passes == 0 ? tr("endless") : QString::number(end.passes);
        if (end.completed) {
            LogAction(tr("%1: RAM%2 finished, passes: %3").arg(port).arg(end.slot).arg(passes));
            continue;
        }
        // A program that stopped before its end says why.
        QString reason = end.reason;
        if (end.errorCode != 0) {
            TarvoStatus code;
            code.errorCode = end.errorCode;
            reason = reason.isEmpty() ? code.GetErrorText()
                                      : code.GetErrorText() + QStringLiteral("; ") + reason;
        }
        LogAction(tr("%1: RAM%2 stopped in pass %3 of %4: %5")
                      .arg(port)
                      .arg(end.slot)
                      .arg(end.pass)
                      .arg(passes, reason));
    }
}

ManualControlWnd* KavrixMainWnd::GetControlPanel(int index) const
{
    // The panel is the page itself: it scrolls below its emergency stops, which stay in view.
    auto* const panel = qobject_cast<ManualControlWnd*>(controllerTabWidget->widget(index));
    // Whoever asks for a panel gets it complete, with every button and edit.
    if (panel)
        panel->EnsureForm();
    return panel;
}

int KavrixMainWnd::FindControllerTab(const QString& comPort) const
{
    for (int i = 0; i < controllerTabWidget->count(); ++i) {
        if (controllerTabWidget->tabText(i) == comPort)
            return i;
    }
    return -1;
}

void KavrixMainWnd::SlotControllerAdded(QString comPort)
{
    if (comPort.isEmpty())
        return;
    TarvoController* const controller = KavrixKernel::Instance()->FindController(comPort);
    if (!controller)
        return;
    // Only the panel on the current tab is needed for the first paint: the others build their
    // forms when their tab is first shown (or when the window reaches into them).
    auto* const page =
        new ManualControlWnd(controller, nullptr, ManualControlWnd::FormBuild::OnFirstShow);
    connect(page, &ManualControlWnd::SignalLog, this, &KavrixMainWnd::LogAction);
    connect(page, &ManualControlWnd::SignalStatusMessage, statusBar(), &QStatusBar::showMessage);
    {
        // The first tab of an empty tab widget becomes current by itself; that must not pick
        // the active controller (the kernel does, and a restored one must survive start-up).
        const QSignalBlocker blocker(controllerTabWidget);
        controllerTabWidget->addTab(page, comPort);
    }
    UpdateActions();
}

void KavrixMainWnd::SlotControllerRemoved(QString comPort)
{
    if (comPort.isEmpty())
        return;
    const int index = FindControllerTab(comPort);
    if (index < 0)
        return;
    QWidget* const page = controllerTabWidget->widget(index);
    {
        // Removing the current tab makes a neighbour current; the kernel has already chosen
        // the next active controller, whose tab is made current below.
        const QSignalBlocker blocker(controllerTabWidget);
        controllerTabWidget->removeTab(index);
        const QString active = KavrixKernel::Instance()->GetActiveControllerPort();
        const int activeTab = FindControllerTab(active);
        if (activeTab >= 0)
            controllerTabWidget->setCurrentIndex(activeTab);
    }
    delete page;
    UpdateActions();
}

void KavrixMainWnd::SlotCurrentControllerTabChanged(int index)
{
    const QString label = controllerTabWidget->tabText(index);
    if (!label.isEmpty())
        KavrixKernel::Instance()->SetActiveController(label);
}

void KavrixMainWnd::SlotControllerListCurrentChanged(QModelIndex current, QModelIndex previous)
{
    Q_UNUSED(previous);
    if (!current.isValid() || removingController)
        return;
    const QStandardItemModel* const model = KavrixKernel::Instance()->GetControllerModel();
    const QString port = model->index(current.row(), 0, current.parent()).data().toString();
    if (!port.isEmpty())
        KavrixKernel::Instance()->SetActiveController(port);
}

void KavrixMainWnd::SlotActiveControllerChanged(QString active)
{
    AppendToOutput(tr("Active controller changed: ") + active);

    if (!active.isEmpty()) {
        const int tab = FindControllerTab(active);
        if (tab >= 0) {
            const QSignalBlocker blocker(controllerTabWidget);
            controllerTabWidget->setCurrentIndex(tab);
        }
    }

    const QModelIndex row = KavrixKernel::Instance()->FindControllerIndex(active);
    QItemSelectionModel* const selection = controllerListView->selectionModel();
    selection->clearSelection();
    if (row.isValid() && !selection->isSelected(row)) {
        selection->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selection->setCurrentIndex(
            row, QItemSelectionModel::SelectCurrent | QItemSelectionModel::Rows);
    }

    SlotUpdateControllerStatus(active);
    UpdateActions();
}

void KavrixMainWnd::SlotUpdateControllerStatus(QString active)
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    if (!controller) {
        // Without an active controller the title must not keep naming a removed one.
        activeControllerDock->setWindowTitle(tr("Active Controller"));
        UpdatePreviewPosition();
        return;
    }
    const QString port = controller->GetComPort();
    if (port != active)
        return;
    QString title = tr("Active Controller: ") + port;
    if (controller->IsConnected())
        title += tr(" - connected");
    if (activeControllerDock->windowTitle() != title)
        activeControllerDock->setWindowTitle(title);
    UpdatePreviewPosition();
    UpdateActions();
}

void KavrixMainWnd::SlotChangeCommandDestination()
{
    KavrixKernel* const kernel = KavrixKernel::Instance();
    const bool toEditor = actions.commandsToEditor->isChecked();
    kernel->SetCommandToEditor(toEditor);
    if (skipNextDestinationWarning) {
        skipNextDestinationWarning = false;
        return;
    }
    const TarvoController* const controller = kernel->GetActiveController();
    if (!toEditor && controller && !controller->IsConnected()) {
        Dialogs::warning(this, tr("Connecting to Controller"),
                         tr("Controller on %1 isn't connected.\n").arg(controller->GetComPort()),
                         QMessageBox::Ok);
    }
}

void KavrixMainWnd::UpdateActions()
{
    TarvoController* const controller = KavrixKernel::Instance()->GetActiveController();
    const bool exists = controller != nullptr;
    const bool connected = exists && controller->IsConnected();
    const bool hasValues = exists && controller->GetParameters().IsDefined();

    actions.controllerEdit->setEnabled(exists);
    actions.controllerRemove->setEnabled(exists);
    actions.controllerFirmwareUpdate->setEnabled(exists);
    actions.controllerConnect->setEnabled(exists && !connected);
    actions.controllerDisconnect->setEnabled(connected);
    actions.parameterLoad->setEnabled(exists);
    actions.parameterReset->setEnabled(exists);
    actions.parameterSave->setEnabled(hasValues);
    actions.parameterSaveAs->setEnabled(hasValues);
    actions.parameterEdit->setEnabled(hasValues);
    actions.parameterRead->setEnabled(connected);
    actions.parameterWrite->setEnabled(hasValues && connected);
    actions.ramProgrammWrite->setEnabled(connected);
    actions.ramProgrammStart->setEnabled(connected);

    UpdatePreviewMachine();
    UpdateEditActions();
}

void KavrixMainWnd::UpdateEditActions()
{
    const TarvoProgEdit* const editor = CurrentEditor();
    actions.fileClose->setEnabled(editor != nullptr);
    actions.fileSaveAs->setEnabled(editor != nullptr);
    actions.fileSave->setEnabled(editor != nullptr && editor->document()->isModified());
}

void KavrixMainWnd::SlotCurrentEditTabChanged(int index)
{
    Q_UNUSED(index);
    programPreview->SetEditor(CurrentEditor());
    UpdateEditActions();
}

void KavrixMainWnd::closeEvent(QCloseEvent* event)
{
    if (!ConfirmQuitWhileMachinesRun()) {
        event->ignore();
        return;
    }
    KavrixKernel* const kernel = KavrixKernel::Instance();
    kernel->CloseAllConnections();
    // Closing the connections sends no signal. The window may stay open (a program is not
    // saved), so its title, status panel and actions must show the controllers disconnected:
    // otherwise "&Connect" stays disabled for a controller that can be connected again.
    SlotUpdateControllerStatus(kernel->GetActiveControllerPort());
    statusWnd->SlotUpdate();
    UpdateActions();
    for (int i = 0; i < editorTabWidget->count(); ++i) {
        auto* const editor = qobject_cast<TarvoProgEdit*>(editorTabWidget->widget(i));
        if (editor && !MaybeSave(editor)) {
            event->ignore();
            return;
        }
    }
    SaveLayout();
    event->accept();
}

void KavrixMainWnd::SlotHelpAbout()
{
    // The link library is built from the same tree: the version it needs is the program's.
    const QString version = QStringLiteral(KAVRO_VERSION);
    Dialogs::seam().about(this, tr("About KavrixMulti"),
                          tr("KavrixMulti version %1\n"
                             "Made by lumbrix CNC Controls\n"
                             "Support: https://www.lumbrix.example/support\n"
                             "Needed Quenta version %2")
                              .arg(version, version));
}
