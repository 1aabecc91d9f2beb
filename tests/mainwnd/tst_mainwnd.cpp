// The main window frame: actions, menus, tool bar, docks, the enabling rules, keeping the
// active controller, tabs and list in step, the command destination, closing, about box.

#include "mainwndtesting.h"

#include "manualcontrolwnd.h"
#include "popupescape.h"
#include "programpreview.h"
#include "tarvoparameters.h"
#include "tarvoprogedit.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeView>

namespace {

using Actions = KavrixMainWnd::Actions;
using ActionMember = QAction* Actions::*;

// Texts of a menu's or tool bar's entries; "—" stands for a separator.
QStringList entryTexts(const QList<QAction*>& entries)
{
    QStringList texts;
    for (const QAction* action : entries)
        texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return texts;
}

// The actions that depend on the active controller, by their enabling rule.
const ActionMember needsController[] = {
    &Actions::controllerEdit, &Actions::controllerRemove, &Actions::controllerFirmwareUpdate,
    &Actions::parameterLoad, &Actions::parameterReset};
const ActionMember needsValues[] = {&Actions::parameterSave, &Actions::parameterSaveAs,
                                    &Actions::parameterEdit};
const ActionMember needsConnection[] = {&Actions::controllerDisconnect, &Actions::parameterRead,
                                        &Actions::ramProgrammWrite, &Actions::ramProgrammStart};
const ActionMember alwaysEnabled[] = {
    &Actions::fileNew, &Actions::fileOpen, &Actions::quit, &Actions::controllerAdd,
    &Actions::commandsToEditor, &Actions::commandsToController, &Actions::about,
    &Actions::aboutQt, &Actions::controllerPorts};

}  // namespace

class TestMainWnd : public MainWndTestCase {
    Q_OBJECT


private Q_SLOTS:
    void init() { startEnvironment(); }
    void cleanup() { stopEnvironment(); }

    void jogKeyMovesOnceAndAutoRepeatNever()
    {
        registerController("COM3");
        KavrixKernel::Instance()->ConnectActiveController();
        auto device = ports->device("COM3");
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        device->clearCalls();
        window.CurrentEditor()->setFocus();

        QTest::keyPress(window.CurrentEditor(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(device->countCalls("FahreRelativ_XY_Schritte"), 1);
        // Held down: its repeats, marked as such or not, press nothing more.
        for (int i = 0; i < 5; ++i)
            qt_sendShortcutOverrideEvent(window.CurrentEditor(), 0, Qt::Key_Right,
                                         Qt::AltModifier, QString(), true);
        QTest::keyPress(window.CurrentEditor(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(device->countCalls("FahreRelativ_XY_Schritte"), 1);
        QTest::keyRelease(window.CurrentEditor(), Qt::Key_Right, Qt::AltModifier);
        QTest::keyClick(window.CurrentEditor(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(device->countCalls("FahreRelativ_XY_Schritte"), 2);
        // The key went through the button's slot: its command line is in the log.
        QVERIFY(outputLines(window).last().startsWith("GO_XY_S "));
        QTest::keyClick(window.CurrentEditor(), Qt::Key_PageUp, Qt::AltModifier);
        QCOMPARE(device->countCalls("FahreRelativ_ZC_Schritte"), 1);
        // Typing in the editor moves nothing.
        QTest::keyClick(window.CurrentEditor(), Qt::Key_Right);
        QCOMPARE(device->countCalls("FahreRelativ"), 3);
    }

    void escapeStopsEveryConnectedController()
    {
        registerController("COM1");
        registerController("COM2");
        registerController("COM3");
        KavrixKernel* const kernel = KavrixKernel::Instance();
        for (const char* port : {"COM1", "COM3"}) {
            kernel->SetActiveController(QString::fromLatin1(port));
            kernel->ConnectActiveController();
        }
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        // Whatever has the focus and wherever commands go.
        window.GetActions().commandsToEditor->trigger();
        window.GetOutputLog()->setFocus();
        QTest::keyClick(window.GetOutputLog(), Qt::Key_Escape);

        QCOMPARE(ports->device("COM1")->countCalls("NotHalt_mitBremsrampe"), 1);
        QCOMPARE(ports->device("COM2")->countCalls("NotHalt_mitBremsrampe"), 0);
        QCOMPARE(ports->device("COM3")->countCalls("NotHalt_mitBremsrampe"), 1);
        QCOMPARE(dialogs->shown.size(), 0);
        const QStringList lines = stampedLines(window);
        QCOMPARE(lines.filter("Emergency stop (Not Halt) sent to").size(), 2);
        QVERIFY(lines.contains("Emergency stop (Not Halt) sent to COM1"));
    }

    void escapeGoesToAnOpenPopupOrBoxFirst()
    {
        // On X11 the window's focus widget is asked for a key even while a popup is open;
        // what it takes there never becomes the stop of all machines.
        QWidget window;
        PopupEscape guard(&window);
        const auto taken = [&window](Qt::Key key) {
            QKeyEvent override(QEvent::ShortcutOverride, key, Qt::NoModifier);
            override.ignore();
            QApplication::sendEvent(&window, &override);
            return override.isAccepted();
        };
        QVERIFY(!taken(Qt::Key_Escape));  // nothing open: the shortcut's
        QMenu menu;
        menu.addAction(QStringLiteral("entry"));
        menu.popup(QPoint(10, 10));
        QTRY_VERIFY(QApplication::activePopupWidget() == &menu);
        QVERIFY(taken(Qt::Key_Escape));
        QVERIFY(!taken(Qt::Key_Left));  // only Escape
        menu.close();
        QDialog box;
        box.setModal(true);
        box.show();
        QTRY_VERIFY(QApplication::activeModalWidget() == &box);
        QVERIFY(taken(Qt::Key_Escape));
    }

    void panelsOffTheCurrentTabAreBuiltWhenFirstShown()
    {
        registerController("COM1");
        registerController("COM2");
        registerController("COM3");
        KavrixKernel::Instance()->SetActiveController(QStringLiteral("COM2"));
        KavrixMainWnd window;
        QTabWidget* const tabs = window.GetControllerTabWidget();
        const auto panelOf = [tabs](int index) {
            return qobject_cast<ManualControlWnd*>(tabs->widget(index));
        };
        // Every tab and panel object exists from the start; only the current one has a form.
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(panelOf(1)->HasForm());
        QVERIFY(!panelOf(0)->HasForm());
        QVERIFY(!panelOf(2)->HasForm());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!panelOf(2)->HasForm());

        // Shown by its tab: complete and visible at once, the banner still hidden.
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(2).center());
        QCOMPARE(tabs->currentIndex(), 2);
        QVERIFY(panelOf(2)->HasForm());
        auto* const stop = panelOf(2)->findChild<QPushButton*>("NotHaltMitBremsenButton");
        auto* const otherStop = panelOf(2)->findChild<QPushButton*>("NotStopOhneBremsenButton");
        QVERIFY(stop && stop->isVisible());
        // Laid out before its first paint, not piled up in a corner.
        QVERIFY(!stop->geometry().intersects(otherStop->geometry()));
        QVERIFY(panelOf(2)->findChild<QWidget*>("editorModeBanner")->isHidden());
        // Asked for through the window, a panel never shown is complete too.
        QVERIFY(window.GetControlPanel(0)->findChild<QPushButton*>("XnegButton"));
        QVERIFY(panelOf(0)->HasForm());
    }

    void editorModeBannerFollowsTheDestination()
    {
        registerController("COM1");
        registerController("COM3");
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto banners = [&window] {
            QList<QWidget*> shown;
            for (int i = 0; i < window.GetControllerTabWidget()->count(); ++i)
                shown << window.GetControlPanel(i)->findChild<QWidget*>("editorModeBanner");
            return shown;
        };
        QCOMPARE(banners().size(), 2);
        for (QWidget* banner : banners())
            QVERIFY(banner->isHidden());
        window.GetActions().commandsToEditor->trigger();
        for (QWidget* banner : banners())
            QVERIFY(!banner->isHidden());
        // A panel made while the editor is the destination shows it from the start.
        registerController("COM5");
        QVERIFY(!banners().last()->isHidden());
        dialogs->expectBox();  // COM5, the active one, is not connected
        window.GetActions().commandsToController->trigger();
        for (QWidget* banner : banners())
            QVERIFY(banner->isHidden());
    }

    void previewFollowsTheEditorAndTheActiveController()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        ProgramPreview* const preview = window.GetProgramPreview();
        QCOMPARE(preview->Editor(), window.CurrentEditor());
        window.SlotFileNew();
        QCOMPARE(preview->Editor(), window.CurrentEditor());
        window.CurrentEditor()->setPlainText("GO_XY_S 100 1000 0;");
        QTRY_COMPARE_WITH_TIMEOUT(preview->Path().segments.size(), 1,
                                  kUiTimeoutMs);  // after the typing pause
        QCOMPARE(preview->Path().segments[0].to[0], 10.0);  // 100 steps/mm while unknown

        // The active controller's resolution, once its set holds values.
        controller->GetParameters().ResetToDefaults();
        controller->GetParameters().MECHANIK_AUFLOESUNG_X_FLOAT = 200.0f;
        window.UpdateActions();
        QCOMPARE(preview->Path().segments[0].to[0], 5.0);

        // Its position, live while connected.
        KavrixKernel::Instance()->ConnectActiveController();
        quenta::StatusReport status;
        status.pos[0] = 400;
        ports->device("COM3")->setStatus(status);
        UpdateControllerStatusEvent event("COM3");
        QCoreApplication::sendEvent(KavrixKernel::Instance(), &event);
        QCOMPARE(preview->CurrentPosition().value_or(std::array<int32_t, 4>{})[0], 400);
        KavrixKernel::Instance()->DisconnectActiveController();
        QVERIFY(!preview->CurrentPosition());
    }

    void layoutIsKeptAcrossStarts()
    {
        {
            KavrixMainWnd window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.size(), QSize(1200, 600));  // the first start
            window.resize(760, 450);  // above the least width the docks allow
            window.GetMainToolBar()->toggleViewAction()->trigger();
            window.findChild<QDockWidget*>("outputDock")->toggleViewAction()->trigger();
            window.addDockWidget(Qt::RightDockWidgetArea,
                                 window.findChild<QDockWidget*>("controlDock"));
            QVERIFY(window.close());
        }
        {
            KavrixMainWnd window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.size(), QSize(760, 450));
            QVERIFY(window.GetMainToolBar()->isHidden());
            QVERIFY(window.findChild<QDockWidget*>("outputDock")->isHidden());
            QCOMPARE(window.dockWidgetArea(window.findChild<QDockWidget*>("controlDock")),
                     Qt::RightDockWidgetArea);
            QVERIFY(window.close());
        }
        // Saved on a larger screen: the default comes back.
        QSettings settings;
        {
            QWidget big;
            big.setGeometry(0, 0, 5000, 4000);
            settings.setValue("MainWindow/geometry", big.saveGeometry());
        }
        KavrixMainWnd window;
        QCOMPARE(window.size(), QSize(1200, 600));
    }

    void newKeyOpensAnEditorTabAndAddKeyAddsAController()
    {
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const int tabs = window.GetEditorTabWidget()->count();
        window.CurrentEditor()->setFocus();
        QTest::keyClick(window.CurrentEditor(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(window.GetEditorTabWidget()->count(), tabs + 1);
        QCOMPARE(dialogs->count("exec"), 0);
        // The controller dialog is reached by its own key.
        const QKeySequence addKey = window.GetActions().controllerAdd->shortcut();
        dialogs->expectRejectedDialog();
        QTest::keySequence(&window, addKey);
        QCOMPARE(dialogs->count("exec"), 1);
        QCOMPARE(window.GetEditorTabWidget()->count(), tabs + 1);
    }

    void everyActionHasItsTextsKeysAndIcon()
    {
        struct Row {
            ActionMember member;
            const char* text;
            const char* shortcut;  // nullptr: none; "New"/"Delete": the platform's standard key
            const char* toolTip;   // nullptr: not set
            const char* statusTip;
            bool icon;
        };
        const Row rows[] = {
            {&Actions::fileNew, "&New", "Ctrl+N", nullptr, "New programm", false},
            {&Actions::fileOpen, "&Open", "Ctrl+O", nullptr, "Load programm from file", false},
            {&Actions::fileClose, "&Close", nullptr, nullptr, "Close programm", false},
            {&Actions::fileSave, "&Save", "Ctrl+S", nullptr, "Save programm to file ", false},
            {&Actions::fileSaveAs, "&SaveAs", nullptr, nullptr,
             "Save programm to a different file", false},
            {&Actions::quit, "&Quit", "Ctrl+Q", nullptr, "Quit the application", false},
            {&Actions::controllerAdd, "&Add Controller...", "New", "Add Contoller",
             "Add Contoller", true},
            {&Actions::controllerEdit, "&Edit COM port settings...", nullptr,
             "COM port settings", "Edit controller's COM port settings", false},
            {&Actions::controllerRemove, "&Remove Controller", "Delete", nullptr,
             "Remove Contoller", true},
            {&Actions::controllerConnect, "&Connect", nullptr, "Connect to controller",
             "Connect to controller", false},
            {&Actions::controllerDisconnect, "&Disconnect", nullptr,
             "Disconnect from controller", "Disconnect from controller", false},
            {&Actions::controllerFirmwareUpdate, "&Firmware Update...", nullptr,
             "Firmware Update", "Firmware Update", false},
            {&Actions::parameterLoad, "&Load...", nullptr, "Load from file",
             "Load parameters to file", false},
            {&Actions::parameterSave, "&Save", nullptr, "Save", "Save parameters to file",
             false},
            {&Actions::parameterSaveAs, "Save &as...", nullptr, "Save as",
             "Save parameters to selected file", false},
            {&Actions::parameterRead, "&Read from controller", nullptr, "Read from controller",
             "Read parameters from aktive controller", false},
            {&Actions::parameterWrite, "&Write to controller", nullptr,
             "Write parameters to aktive to controller", "Write parameters to aktive controller",
             false},
            {&Actions::parameterReset, "&Reset", nullptr, "Reset parameters", "Reset parameters",
             false},
            {&Actions::parameterEdit, "&Edit...", nullptr, "Edit parameters", "Edit parameters",
             false},
            {&Actions::commandsToEditor, "Commands to editor", nullptr,
             "Write commands to program editor", "Write commands to program editor", false},
            {&Actions::commandsToController, "Commands to controller", nullptr,
             "Send commands directly to controller", "Send commands directly to controller",
             false},
            {&Actions::ramProgrammWrite, "Write &Programm into controller RAM", nullptr,
             "Write Programm into controller RAM", "Write Programm into controller RAM", false},
            {&Actions::ramProgrammStart, "&Start RAM-Programm", nullptr, "RAM-Rrogramm starten",
             "RAM-Programm starten", false},
            {&Actions::about, "&About", nullptr, nullptr, "Show the application's About box",
             false},
            {&Actions::aboutQt, "About &Qt", nullptr, nullptr, "Show the Qt library's About box",
             false},
            {&Actions::controllerPorts, "&Ports...", nullptr,
             "Map COM ports to the simulator or to serial devices",
             "Map COM ports to the simulator or to serial devices", false},
        };
        KavrixMainWnd window;
        const Actions& actions = window.GetActions();
        QSet<QAction*> distinct;
        for (const Row& row : rows) {
            QAction* const action = actions.*row.member;
            QVERIFY2(action, row.text);
            distinct.insert(action);
            QCOMPARE(action->text(), QString::fromUtf8(row.text));
            QCOMPARE(action->statusTip(), QString::fromUtf8(row.statusTip));
            if (row.toolTip)
                QCOMPARE(action->toolTip(), QString::fromUtf8(row.toolTip));
            QCOMPARE(!action->icon().isNull(), row.icon);
            const QString shortcut = row.shortcut ? QString::fromUtf8(row.shortcut) : QString();
            // Where the platform's New key is "&New"'s Ctrl+N, adding a controller takes
            // Ctrl+Shift+N, so that neither key is ambiguous.
            if (shortcut == QLatin1String("New")
                && QKeySequence::keyBindings(QKeySequence::New).contains(QKeySequence("Ctrl+N")))
                QCOMPARE(action->shortcuts(), QList<QKeySequence>{QKeySequence("Ctrl+Shift+N")});
            else if (shortcut == QLatin1String("New"))
                QCOMPARE(action->shortcuts(), QKeySequence::keyBindings(QKeySequence::New));
            else if (shortcut == QLatin1String("Delete"))
                QCOMPARE(action->shortcuts(), QKeySequence::keyBindings(QKeySequence::Delete));
            else
                QCOMPARE(action->shortcut(), QKeySequence(shortcut));
        }
        QCOMPARE(distinct.size(), 26);

        // The destination pair is exclusive and starts at "controller".
        QVERIFY(actions.commandsToEditor->isCheckable());
        QVERIFY(actions.commandsToController->isChecked());
        QVERIFY(!actions.commandsToEditor->isChecked());
        QCOMPARE(actions.commandsToEditor->actionGroup(),
                 actions.commandsToController->actionGroup());
        QVERIFY(actions.commandsToEditor->actionGroup()->isExclusive());
        QCOMPARE(actions.commandsToEditor->actionGroup()->actions().first(),
                 actions.commandsToEditor);
    }

    void menusAndToolBarListTheirEntriesInOrder()
    {
        KavrixMainWnd window;
        const QList<QAction*> bar = window.menuBar()->actions();
        QCOMPARE(entryTexts(bar), QStringList({"&File", "&Controller", "&Parameters",
                                               "&Programm", "&View", "—", "&Help"}));
        QCOMPARE(entryTexts(bar.at(0)->menu()->actions()),
                 QStringList({"&New", "&Open", "&Close", "—", "&Save", "&SaveAs", "—",
                              "Open &G-code...", "Recent G-code &Files", "—",
                              "Run on &Machines...", "—", "&Quit"}));
        QCOMPARE(entryTexts(bar.at(1)->menu()->actions()),
                 QStringList({"&Connect", "&Disconnect", "—", "&Firmware Update...", "—",
                              "&Add Controller...", "&Remove Controller",
                              "&Edit COM port settings...", "—", "&Ports..."}));
        QCOMPARE(entryTexts(bar.at(2)->menu()->actions()),
                 QStringList({"&Read from controller", "&Write to controller", "—",
                              "&Load...", "&Save", "Save &as...", "—", "&Reset", "—",
                              "&Edit..."}));
        QCOMPARE(entryTexts(bar.at(3)->menu()->actions()),
                 QStringList({"Commands to controller", "Commands to editor", "—",
                              "Write &Programm into controller RAM", "&Start RAM-Programm"}));
        // The frame's entries first; the docks and tool bars added beside them follow.
        QCOMPARE(entryTexts(bar.at(4)->menu()->actions()).mid(0, 6),
                 QStringList({"Main tool bar", "Control", "Controller List",
                              "Active Controller", "Output", "Program Preview"}));
        QCOMPARE(entryTexts(bar.at(6)->menu()->actions()),
                 QStringList({"&About", "About &Qt"}));

        QToolBar* const toolBar = window.GetMainToolBar();
        QCOMPARE(toolBar->windowTitle(), QString("Main tool bar"));
        // The frame's entries first; the shop's hold, resume and stop of all jobs follow.
        QCOMPARE(entryTexts(toolBar->actions()),
                 QStringList({"&Connect", "&Disconnect", "—", "&Edit...", "—",
                              "Commands to controller", "Commands to editor", "—", "Hold All",
                              "Resume All", "Stop All Jobs"}));
        // The tool bar's "&Edit..." is the parameter dialog, not the COM port settings.
        QCOMPARE(toolBar->actions().at(3), window.GetActions().parameterEdit);
    }

    void startsEmptyWithOneUntitledTab()
    {
        KavrixMainWnd window;
        const Actions& actions = window.GetActions();
        QCOMPARE(window.windowTitle(), QString("KavrixMulti"));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.size(), QSize(1200, 600));
        QCOMPARE(window.statusBar()->currentMessage(), QString("Ready"));
        QCOMPARE(window.GetControllerTabWidget()->count(), 0);
        QCOMPARE(window.GetEditorTabWidget()->count(), 1);
        QCOMPARE(window.GetEditorTabWidget()->tabText(0), QString("Untitled"));
        QCOMPARE(window.GetEditorTabWidget()->tabToolTip(0), QString("Program is not saved yet"));
        QCOMPARE(window.CurrentEditor()->documentTitle(), QString());
        QCOMPARE(window.centralWidget(), window.GetEditorTabWidget());
        QVERIFY(window.GetEditorTabWidget()->tabsClosable());
        for (ActionMember m : needsController)
            QVERIFY2(!(actions.*m)->isEnabled(), qPrintable((actions.*m)->text()));
        for (ActionMember m : needsValues)
            QVERIFY2(!(actions.*m)->isEnabled(), qPrintable((actions.*m)->text()));
        for (ActionMember m : needsConnection)
            QVERIFY2(!(actions.*m)->isEnabled(), qPrintable((actions.*m)->text()));
        QVERIFY(!actions.controllerConnect->isEnabled());
        QVERIFY(!actions.parameterWrite->isEnabled());
        for (ActionMember m : alwaysEnabled)
            QVERIFY2((actions.*m)->isEnabled(), qPrintable((actions.*m)->text()));
        // Start-up never warns, not even about the destination.
        QCOMPARE(dialogs->shown.size(), 0);
        QVERIFY(!KavrixKernel::Instance()->IsCommandToEditor());
        QCOMPARE(outputLines(window), QStringList({"Active controller changed: "}));
        QCOMPARE(window.GetActiveControllerDock()->windowTitle(), QString("Active Controller"));
        // The four and the preview (the docks added beside them are their own tests' concern).
        for (const char* dock : {"controlDock", "controllerListDock", "activeControllerDock",
                                 "outputDock", "previewDock"})
            QVERIFY2(window.findChild<QDockWidget*>(QString::fromLatin1(dock)), dock);

        // Without a controller the destination switches without a word.
        actions.commandsToEditor->trigger();
        actions.commandsToController->trigger();
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void docksSitWhereTheyBelong()
    {
        KavrixMainWnd window;
        QHash<QString, Qt::DockWidgetArea> areas;
        for (QDockWidget* dock : window.findChildren<QDockWidget*>())
            areas.insert(dock->windowTitle(), window.dockWidgetArea(dock));
        QCOMPARE(areas.value("Control"), Qt::LeftDockWidgetArea);
        QCOMPARE(areas.value("Controller List"), Qt::RightDockWidgetArea);
        QCOMPARE(areas.value("Active Controller"), Qt::RightDockWidgetArea);
        QCOMPARE(areas.value("Output"), Qt::BottomDockWidgetArea);
        QVERIFY(window.GetOutputLog()->isReadOnly());
        QCOMPARE(window.GetControllerListView()->model(),
                 static_cast<QAbstractItemModel*>(KavrixKernel::Instance()->GetControllerModel()));
    }

    void actionsFollowTheActiveController_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("defined");
        QTest::newRow("disconnected, no values") << false << false;
        QTest::newRow("connected, no values") << true << false;
        QTest::newRow("disconnected, values") << false << true;
        QTest::newRow("connected, values") << true << true;
    }

    void actionsFollowTheActiveController()
    {
        QFETCH(bool, connected);
        QFETCH(bool, defined);
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        if (defined)
            controller->GetParameters().ResetToDefaults();
        if (connected)
            KavrixKernel::Instance()->ConnectActiveController();
        QCOMPARE(controller->IsConnected(), connected);
        window.UpdateActions();

        const Actions& actions = window.GetActions();
        for (ActionMember m : needsController)
            QVERIFY2((actions.*m)->isEnabled(), qPrintable((actions.*m)->text()));
        for (ActionMember m : needsValues)
            QCOMPARE((actions.*m)->isEnabled(), defined);
        for (ActionMember m : needsConnection)
            QCOMPARE((actions.*m)->isEnabled(), connected);
        QCOMPARE(actions.controllerConnect->isEnabled(), !connected);
        QCOMPARE(actions.parameterWrite->isEnabled(), connected && defined);
        for (ActionMember m : alwaysEnabled)
            QVERIFY((actions.*m)->isEnabled());
    }

    void editActionsFollowTheCurrentTab()
    {
        KavrixMainWnd window;
        const Actions& actions = window.GetActions();
        QVERIFY(actions.fileClose->isEnabled());
        QVERIFY(actions.fileSaveAs->isEnabled());
        QVERIFY(!actions.fileSave->isEnabled());
        window.CurrentEditor()->insertPlainText("GO_PARK;");
        QVERIFY(actions.fileSave->isEnabled());
        // A second, unmodified tab: Save follows the tab that is current.
        actions.fileNew->trigger();
        QVERIFY(!actions.fileSave->isEnabled());
        window.GetEditorTabWidget()->setCurrentIndex(0);
        QVERIFY(actions.fileSave->isEnabled());
        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        actions.fileClose->trigger();
        actions.fileClose->trigger();
        QCOMPARE(window.GetEditorTabWidget()->count(), 0);
        QVERIFY(!actions.fileClose->isEnabled());
        QVERIFY(!actions.fileSaveAs->isEnabled());
        QVERIFY(!actions.fileSave->isEnabled());
    }

    void restoredActiveControllerSurvivesStartUp()
    {
        QSettings settings;
        settings.setValue("controllers", QStringList({"COM1:115200", "COM3:115200",
                                                      "COM5:100000"}));
        settings.setValue("ActiveController", "COM5");
        KavrixKernel::Instance()->ReadSettings();
        QSignalSpy activeChanges(KavrixKernel::Instance(),
                                 &KavrixKernel::SignalActiveControllerChanged);

        KavrixMainWnd window;
        QCOMPARE(activeChanges.count(), 0);
        QCOMPARE(KavrixKernel::Instance()->GetActiveControllerPort(), QString("COM5"));
        QTabWidget* const tabs = window.GetControllerTabWidget();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QString("COM1"));
        QCOMPARE(tabs->tabText(2), QString("COM5"));
        QCOMPARE(tabs->tabText(tabs->currentIndex()), QString("COM5"));
        for (int i = 0; i < tabs->count(); ++i) {
            QVERIFY(window.GetControlPanel(i));
            QCOMPARE(window.GetControlPanel(i)->GetController()->GetComPort(), tabs->tabText(i));
        }
        // The tall panels scroll inside their docks, so the window still fits a small screen.
        QVERIFY(window.minimumSizeHint().height() <= 600);
        const QModelIndex current = window.GetControllerListView()->currentIndex();
        QCOMPARE(current.siblingAtColumn(0).data().toString(), QString("COM5"));
        QVERIFY(window.GetControllerListView()->selectionModel()->isRowSelected(current.row()));
        QCOMPARE(window.GetActiveControllerDock()->windowTitle(),
                 QString("Active Controller: COM5"));
        QCOMPARE(outputLines(window).last(), QString("Active controller changed: COM5"));
        QVERIFY(window.GetActions().controllerConnect->isEnabled());
    }

    void listAndTabsSelectTheActiveControllerOnce()
    {
        registerController("COM1");
        registerController("COM3");
        registerController("COM5");
        KavrixMainWnd window;
        KavrixKernel* const kernel = KavrixKernel::Instance();
        QSignalSpy activeChanges(kernel, &KavrixKernel::SignalActiveControllerChanged);
        QTabWidget* const tabs = window.GetControllerTabWidget();
        QTreeView* const list = window.GetControllerListView();

        // A row chosen in the list: one activation, and the tab follows.
        const QModelIndex com1 = kernel->FindControllerIndex("COM1");
        list->selectionModel()->setCurrentIndex(
            com1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(activeChanges.count(), 1);
        QCOMPARE(kernel->GetActiveControllerPort(), QString("COM1"));
        QCOMPARE(tabs->tabText(tabs->currentIndex()), QString("COM1"));

        // A tab chosen: one activation, and the list row follows.
        tabs->setCurrentIndex(1);
        QCOMPARE(activeChanges.count(), 2);
        QCOMPARE(kernel->GetActiveControllerPort(), QString("COM3"));
        QCOMPARE(list->currentIndex().siblingAtColumn(0).data().toString(), QString("COM3"));
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(list->selectionModel()->selectedRows().first().data().toString(),
                 QString("COM3"));
        QCOMPARE(outputLines(window).mid(outputLines(window).size() - 2),
                 QStringList({"Active controller changed: COM1",
                              "Active controller changed: COM3"}));

        // The kernel choosing: both follow.
        kernel->SetActiveController(QString("COM5"));
        QCOMPARE(activeChanges.count(), 3);
        QCOMPARE(tabs->tabText(tabs->currentIndex()), QString("COM5"));
        QCOMPARE(list->currentIndex().siblingAtColumn(0).data().toString(), QString("COM5"));
    }

    void dockTitleNamesTheActiveControllerOnly()
    {
        TarvoController* const com1 = registerController("COM1");
        registerController("COM3");
        KavrixMainWnd window;
        QDockWidget* const dock = window.GetActiveControllerDock();
        QCOMPARE(dock->windowTitle(), QString("Active Controller: COM3"));
        KavrixKernel::Instance()->ConnectActiveController();
        QCOMPARE(dock->windowTitle(), QString("Active Controller: COM3 - connected"));
        // Status of another controller leaves the title alone.
        com1->Connect();
        window.SlotUpdateControllerStatus("COM1");
        QCOMPARE(dock->windowTitle(), QString("Active Controller: COM3 - connected"));
        KavrixKernel::Instance()->DisconnectActiveController();
        QCOMPARE(dock->windowTitle(), QString("Active Controller: COM3"));
        com1->Disconnect();
    }

    void destinationWarnsOnlyWhenSwitchingToADisconnectedController()
    {
        TarvoController* const controller = registerController("COM3");
        KavrixMainWnd window;
        KavrixKernel* const kernel = KavrixKernel::Instance();
        const Actions& actions = window.GetActions();
        QCOMPARE(dialogs->shown.size(), 0);

        actions.commandsToEditor->trigger();
        QVERIFY(kernel->IsCommandToEditor());
        QVERIFY(!actions.commandsToController->isChecked());
        QCOMPARE(dialogs->shown.size(), 0);

        dialogs->expectBox();
        actions.commandsToController->trigger();
        QVERIFY(!kernel->IsCommandToEditor());
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].kind, QString("warning"));
        QCOMPARE(dialogs->shown[0].title, QString("Connecting to Controller"));
        QCOMPARE(dialogs->shown[0].text, QString("Controller on COM3 isn't connected.\n"));
        QCOMPARE(dialogs->shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        // Connected: no warning either way.
        actions.commandsToEditor->trigger();
        kernel->ConnectActiveController();
        QVERIFY(controller->IsConnected());
        actions.commandsToController->trigger();
        QVERIFY(!kernel->IsCommandToEditor());
        QCOMPARE(dialogs->shown.size(), 1);
    }

    void viewMenuHidesAndRestoresDocksAndToolBar()
    {
        KavrixMainWnd window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The five of the frame, then "Program Preview" (the entries added after them are
        // their docks' concern).
        QList<QAction*> entries = window.GetViewMenu()->actions().mid(0, 6);
        QCOMPARE(entries.size(), 6);
        QCOMPARE(entries.takeLast()->text(), QString("Program Preview"));
        QList<QWidget*> targets{window.GetMainToolBar()};
        for (const char* title : {"Control", "Controller List", "Active Controller",
                                     "Output"}) {
            for (QDockWidget* dock : window.findChildren<QDockWidget*>()) {
                if (dock->windowTitle() == title)
                    targets << dock;
            }
        }
        QCOMPARE(targets.size(), 5);
        for (int i = 0; i < entries.size(); ++i) {
            QWidget* const target = targets.at(i);
            auto* const dock = qobject_cast<QDockWidget*>(target);
            const Qt::DockWidgetArea area = dock ? window.dockWidgetArea(dock)
                                                 : Qt::NoDockWidgetArea;
            QVERIFY(target->isVisible());
            entries.at(i)->trigger();
            QVERIFY2(!target->isVisible(), qPrintable(entries.at(i)->text()));
            QVERIFY(!entries.at(i)->isChecked());
            entries.at(i)->trigger();
            QVERIFY2(target->isVisible(), qPrintable(entries.at(i)->text()));
            if (dock)
                QCOMPARE(window.dockWidgetArea(dock), area);
            Q_UNUSED(area);
        }
    }

    void closeWithCancelKeepsTheWindowButDisconnects()
    {
        TarvoController* const com1 = registerController("COM1");
        KavrixKernel::Instance()->ConnectActiveController();
        TarvoController* const com3 = registerController("COM3");
        KavrixKernel::Instance()->ConnectActiveController();
        QVERIFY(com1->IsConnected() && com3->IsConnected());
        KavrixMainWnd window;
        window.show();
        window.GetActions().fileNew->trigger();
        window.CurrentEditor()->insertPlainText("GO_PARK;");

        dialogs->buttonAnswers.enqueue(QMessageBox::Cancel);
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QVERIFY(!com1->IsConnected());
        QVERIFY(!com3->IsConnected());
        QCOMPARE(KavrixKernel::Instance()->FindControllerIndex("COM1").siblingAtColumn(2)
                     .data().toString(),
                 QString("disconnected"));
        // Only the modified second tab asked.
        QCOMPARE(dialogs->count("question"), 1);
        QCOMPARE(dialogs->shown.last().title, QString("Save Modified File?"));
        QCOMPARE(window.GetEditorTabWidget()->count(), 2);
        // The window that stays tells the truth: the active COM3 can be connected again.
        QVERIFY(window.GetActions().controllerConnect->isEnabled());
        QVERIFY(!window.GetActions().controllerDisconnect->isEnabled());
        QVERIFY(!window.GetActions().ramProgrammWrite->isEnabled());
        QCOMPARE(window.GetActiveControllerDock()->windowTitle(),
                 QString("Active Controller: COM3"));

        dialogs->buttonAnswers.enqueue(QMessageBox::No);
        QVERIFY(window.close());
        QCOMPARE(dialogs->count("question"), 2);
    }

    void aboutBoxNamesVersions()
    {
        KavrixMainWnd window;
        dialogs->expectBox();
        window.GetActions().about->trigger();
        QCOMPARE(dialogs->count("about"), 1);
        const ScriptedDialogs::Shown& box = dialogs->shown.last();
        QCOMPARE(box.title, QString("About KavrixMulti"));
        const QStringList lines = box.text.split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.first(), QString("KavrixMulti version 1.40"));
        QCOMPARE(lines.last(), QString("Needed Quenta version 1.40"));
        QVERIFY(!lines.at(1).isEmpty() && !lines.at(2).isEmpty());
    }

    void outputLogShowsKernelTextsAsTyped()
    {
        KavrixMainWnd window;
        KavrixKernel* const kernel = KavrixKernel::Instance();
        kernel->WriteCommand("GO_PARK;");
        kernel->WriteCommand("<b>WAIT 10;</b> &amp;");
        const QStringList lines = outputLines(window);
        QCOMPARE(lines.mid(lines.size() - 2),
                 QStringList({"GO_PARK;", "<b>WAIT 10;</b> &amp;"}));
    }
};

QTEST_MAIN(TestMainWnd)
#include "tst_mainwnd.moc"
