#pragma once
// The program's one main window: menus, tool bar, docks and editor tabs, and the slots of
// every operator workflow (controllers, program files, RAM programs, parameters, firmware).
//
// The class is split over several files by menu: kavrixmainwnd.cpp (frame and selection),
// mainwnd_controller.cpp, mainwnd_file.cpp, mainwnd_ramprog.cpp, mainwnd_parameters.cpp and
// mainwnd_firmware.cpp; the job panel's dock and the quit question in mainwnd_jobcontrol.cpp.

#include <QHash>
#include <QMainWindow>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QColor;
class QActionGroup;
class QCloseEvent;
class QDockWidget;
class QMenu;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QTreeView;
class DesktopNotifier;
class JobDocument;
class JobHistory;
class JobHistoryWnd;
class ConsoleWnd;
class JobPanel;
class ManualControlWnd;
class ProgramPreview;
class ShopView;
class StatusWnd;
class TarvoController;
class TarvoParameters;
class TarvoProgEdit;
namespace toolpath {
class ToolpathPanel;
}

class KavrixMainWnd : public QMainWindow {
    Q_OBJECT
public:
    // Every action of the window, created once by CreateActions.
    struct Actions {
        QAction* fileNew = nullptr;
        QAction* fileOpen = nullptr;
        QAction* fileClose = nullptr;
        QAction* fileSave = nullptr;
        QAction* fileSaveAs = nullptr;
        QAction* quit = nullptr;
        QAction* controllerAdd = nullptr;
        QAction* controllerEdit = nullptr;
        QAction* controllerRemove = nullptr;
        QAction* controllerConnect = nullptr;
        QAction* controllerDisconnect = nullptr;
        QAction* controllerFirmwareUpdate = nullptr;
        QAction* parameterLoad = nullptr;
        QAction* parameterSave = nullptr;
        QAction* parameterSaveAs = nullptr;
        QAction* parameterRead = nullptr;
        QAction* parameterWrite = nullptr;
        QAction* parameterReset = nullptr;
        QAction* parameterEdit = nullptr;
        QAction* commandsToEditor = nullptr;
        QAction* commandsToController = nullptr;
        QAction* ramProgrammWrite = nullptr;
        QAction* ramProgrammStart = nullptr;
        QAction* about = nullptr;
        QAction* aboutQt = nullptr;
        QAction* controllerPorts = nullptr;
        // The shop: every running job held, resumed or stopped at once.
        QAction* holdAll = nullptr;
        QAction* resumeAll = nullptr;
        QAction* stopAll = nullptr;
        QAction* runOnMachines = nullptr;
    };

    explicit KavrixMainWnd(QWidget* parent = nullptr);
    ~KavrixMainWnd() override;

    const Actions& GetActions() const { return actions; }
    QTabWidget* GetControllerTabWidget() const { return controllerTabWidget; }
    QTabWidget* GetEditorTabWidget() const { return editorTabWidget; }
    QTextEdit* GetOutputLog() const { return outputLog; }
    QTreeView* GetControllerListView() const { return controllerListView; }
    StatusWnd* GetStatusWnd() const { return statusWnd; }
    QDockWidget* GetActiveControllerDock() const { return activeControllerDock; }
    QToolBar* GetMainToolBar() const { return mainToolBar; }
    QMenu* GetViewMenu() const { return viewMenu; }
    ProgramPreview* GetProgramPreview() const { return programPreview; }
    ShopView* GetShopView() const { return shopView; }
    JobHistory* GetJobHistory() const { return jobHistory.get(); }
    JobHistoryWnd* GetJobHistoryWnd() const { return jobHistoryWnd; }
    JobPanel* GetJobPanel() const { return jobPanel; }
    toolpath::ToolpathPanel* GetToolpathPanel() const { return toolpathPanel; }
    // The manual control panel on controller tab index (it sits in a scroll area), or none.
    ManualControlWnd* GetControlPanel(int index) const;

    // The program editor of the current editor tab, or none.
    TarvoProgEdit* CurrentEditor() const;
    // Index of the controller tab labelled comPort (first match), -1 if none.
    int FindControllerTab(const QString& comPort) const;
    // The G-code job of the current editor tab when that tab shows one, or none.
    JobDocument* CurrentJobDocument() const;

    // The "Console" dock of the active controller (mainwnd_console.cpp).
    ConsoleWnd* GetConsoleWnd() const { return consoleWnd; }
    QDockWidget* GetConsoleDock() const { return consoleDock; }
    // G-code job files: "Open G-code..." and the recent files in "&File".
    QAction* GetOpenJobAction() const { return openJobAction; }
    QMenu* GetRecentJobsMenu() const { return recentJobsMenu; }
    // The recent job files, newest first, as kept in the settings.
    QStringList RecentJobFiles() const;
    // Opens path as a job tab, or makes its tab current when it is open already. The file is
    // read off the window's thread; a file that cannot be read is reported and gets no tab.
    void OpenJobFile(const QString& path);
    // Opens the files named on the command line, each by its extension: programs in an
    // editor tab, anything else as a G-code job.
    void OpenFiles(const QStringList& paths);

Q_SIGNALS:
    // The current editor tab now shows this job, or no job (null).
    void CurrentJobDocumentChanged(JobDocument* document);

public Q_SLOTS:
    void UpdateActions();
    void UpdateEditActions();
    void SlotControllerAdd();
    void SlotControllerEdit();
    void SlotControllerRemove();
    void SlotUpdateControllerStatus(QString active);
    void SlotActiveControllerChanged(QString active);
    void SlotControllerAdded(QString comPort);
    void SlotControllerRemoved(QString comPort);
    void SlotControllerListCurrentChanged(QModelIndex current, QModelIndex previous);
    void SlotCurrentControllerTabChanged(int index);
    void SlotCurrentEditTabChanged(int index);
    void SlotEditTabCloseRequested(int index);
    void SlotEditTextChanged();
    void SlotCommandToEdit(QString cmd);
    void SlotControllerConnect();
    void SlotControllerDisconnect();
    void SlotControllerTimeoutDisconnect(QString comPort);
    void SlotControllerFirmwareUpdate();
    void SlotParameterLoadFromFile();
    void SlotParameterSave();
    void SlotParameterSaveAs();
    void SlotParameterReadFromController();
    void SlotParameterWriteToController();
    void SlotParameterReset();
    void SlotParameterEdit();
    void SlotFileNew();
    void SlotFileOpen();
    void SlotFileClose();
    void SlotFileSave();
    void SlotFileSaveAs();
    void SlotChangeCommandDestination();
    void SlotRAMProgrammWrite();
    void SlotRAMProgrammStart();
    void SlotHelpAbout();

    // Sends Not Halt (with its braking ramp) to every connected controller at once and logs
    // one line per controller; bound to Escape, also during a firmware transfer.
    void SlotStopAllControllers();

    // Shows the port map of COM1-COM8 for editing and writes the rows the operator changed
    // into the link library's settings; each change is logged.
    void SlotControllerPorts();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    void CreateDockWindows();
    void CreateControllerTabs();
    // Escape for the stop of all machines; Alt+arrows, Alt+PageUp/PageDown and Alt+Home/End
    // for the jog buttons of the current controller's panel.
    void CreateShortcuts();
    // Clicks the named button of the current controller's panel, as the operator would.
    void PressJogButton(int axis, int direction);

    // The "Program Preview" dock, tabified with "Output".
    void CreatePreviewDock();
    // The "Shop" dock (a tile per controller), the "Job History" dock and the hold, resume
    // and stop of every running job (mainwnd_shop.cpp).
    void CreateShopDocks();
    // The shop's tiles name the job panel's jobs and their time left; every job the panel
    // starts is recorded in the job history, and its end completes the record.
    void ConnectShopToJobs();
    // "Run on Machines...": the job of the current tab on the connected machines the operator
    // ticks, each checked for its own machine.
    void CreateRunOnMachines();
    void RunOnMachines();
    void HoldAllJobs();
    void ResumeAllJobs();
    void StopAllJobs();
    // An error or alarm on a machine colours its tab and its row in the list, and is told
    // once on the desktop; cleared, the colours go.
    void MarkAttention(const QString& comPort, const QString& text);
    void ClearAttention(const QString& comPort);
    void ColourController(const QString& comPort, const QColor& colour);
    // The preview follows the current editor tab, the active controller's resolutions and
    // park position, and, while that controller is connected, its position.
    void UpdatePreviewMachine();
    void UpdatePreviewPosition();

    // The "Job" dock: the job panel of the active controller (mainwnd_jobcontrol.cpp).
    void CreateJobDock();
    // Before the window closes: jobs running or machines moving are named and the operator
    // asked; yes stops them. False: the window stays.
    bool ConfirmQuitWhileMachinesRun();
    // The "Toolpath" dock, tabified with "Output" and "Program Preview": the 3D view of the current job, its run's
    // progress and the active controller's tool.
    void CreateToolpathDock();
    void ShowJobInToolpath(JobDocument* document);
    void UpdateToolpathPosition();

    // Window placement and the dock and tool bar layout, kept in the settings store.
    void RestoreLayout();
    void SaveLayout() const;

    // G-code job files: the "&File" entries, the job tabs, closing them, the recent files.
    void CreateJobFiles();
    void SlotOpenJobFile();
    void SlotJobTabCloseRequested(int index);
    void AddRecentJobFile(const QString& path);
    void RemoveRecentJobFile(const QString& path);
    void UpdateRecentJobsMenu();
    void OpenProgramPath(const QString& path);

    // Appends text to the output log as a new paragraph of plain text (never read as HTML).
    void AppendToOutput(const QString& text);
    // An operator action or its result: the same, behind the time ("[14:03:27] ").
    void LogAction(const QString& text);
    // Logs what a report of the controller at port tells: an error it raised (also on a
    // controller that is not the active one), how its RAM programs ended.
    void LogControllerReport(const QString& port);
    // A parameter transfer's outcome (done or failed: "%1" is the port) and what a GRBL port
    // sent for it.
    void LogTransfer(TarvoController& controller, const QString& done, const QString& failed,
                     const QStringList& messages);

    // Program files and editor tabs.
    TarvoProgEdit* CreateEditorTab(const QString& path, const QString& text);
    int FindEditorTabByPath(const QString& path) const;
    int FindEditorTabIndex(const TarvoProgEdit* editor) const;
    bool MaybeSave(TarvoProgEdit* editor);
    bool SaveEditor(TarvoProgEdit* editor);
    bool SaveEditorAs(TarvoProgEdit* editor);
    bool WriteProgramFile(TarvoProgEdit* editor, const QString& path);

    // A save dialog confirmed only the name as typed (chosen): when an added extension made it
    // path, replacing an existing file there needs its own Yes. True when path may be written.
    bool MayReplaceWithExtension(const QString& title, const QString& chosen,
                                 const QString& path);

    // Serves SlotParameterSave and SlotParameterSaveAs.
    void SaveParametersToFile(TarvoParameters& parameters, const QString& path);
    // The controller list shows the name of controller's parameter set.
    void ShowReportedName(TarvoController& controller);

    Actions actions;
    // The error code each controller's log line last told (0: none pending).
    QHash<QString, uint8_t> loggedErrors;
    QActionGroup* destinationGroup = nullptr;
    QTabWidget* controllerTabWidget = nullptr;
    QTabWidget* editorTabWidget = nullptr;
    QTextEdit* outputLog = nullptr;
    QTreeView* controllerListView = nullptr;
    StatusWnd* statusWnd = nullptr;
    QMenu* fileMenu = nullptr;
    QMenu* controllerMenu = nullptr;
    QMenu* parametersMenu = nullptr;
    QMenu* programmMenu = nullptr;
    QMenu* viewMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QToolBar* mainToolBar = nullptr;
    QDockWidget* controlDock = nullptr;
    QDockWidget* controllerListDock = nullptr;
    QDockWidget* activeControllerDock = nullptr;
    QDockWidget* outputDock = nullptr;
    QDockWidget* previewDock = nullptr;
    ProgramPreview* programPreview = nullptr;
    QDockWidget* shopDock = nullptr;
    ShopView* shopView = nullptr;
    QDockWidget* jobHistoryDock = nullptr;
    std::unique_ptr<JobHistory> jobHistory;
    JobHistoryWnd* jobHistoryWnd = nullptr;
    DesktopNotifier* notifier = nullptr;
    // The history's row of the job running on each port.
    QHash<QString, qint64> historyRows;
    QDockWidget* jobDock = nullptr;
    JobPanel* jobPanel = nullptr;
    // What the preview was last given, so status reports do not rebuild it.
    std::optional<std::array<double, 4>> previewStepsPerMm;
    std::array<int32_t, 4> previewPark{};
    QDockWidget* toolpathDock = nullptr;
    toolpath::ToolpathPanel* toolpathPanel = nullptr;
    QPointer<JobDocument> toolpathDocument;
    bool skipNextDestinationWarning = false;
    // Set while this window removes a controller from the kernel: the list view then moves its
    // current row to a neighbour, which must not pick the next active controller (the kernel
    // makes the lowest port active).
    bool removingController = false;

    // The console dock, tabified with "Output" (mainwnd_console.cpp).
    void CreateConsoleDock();
    QDockWidget* consoleDock = nullptr;
    ConsoleWnd* consoleWnd = nullptr;
    QAction* openJobAction = nullptr;
    QMenu* recentJobsMenu = nullptr;
    // The job last announced by CurrentJobDocumentChanged.
    JobDocument* announcedJob = nullptr;
};
