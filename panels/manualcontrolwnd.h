#pragma once
// The operator's hand control of one controller: jogs, relative moves, hold, zero point, park,
// reference run, switching, emergency stops; sends to the controller or writes program lines.
//
// The form can be built late: a panel made with FormBuild::OnFirstShow stays an empty widget
// until it is first shown, one of its slots that reads the form runs, or EnsureForm() is
// called (the main window does so wherever it reaches into a panel, so findChild() there
// always finds the buttons and edits).

#include "manualcommands.h"

#include <QList>
#include <QWidget>

#include <cstdint>
#include <memory>

class JogPad;
class QDoubleValidator;
class QIntValidator;
class QLabel;
class QLineEdit;
class QPushButton;
class TarvoController;
struct ManualCommandValues;

namespace Ui {
class ManualControlWnd;
}

class ManualControlWnd : public QWidget {
    Q_OBJECT
public:
    enum class FormBuild { Now, OnFirstShow };

    ManualControlWnd(TarvoController* controller, QWidget* parent = nullptr,
                     FormBuild when = FormBuild::Now);
    ~ManualControlWnd() override;

    // Builds the form (buttons, edits, safety cues) unless it exists; cheap when it does.
    void EnsureForm();
    bool HasForm() const { return ui != nullptr; }

    TarvoController* GetController() const { return controller; }
    bool IsStepsMode() const { return stepsMode; }
    const ManualCommandValues& GetValues() const { return *values; }

    // The buttons the window's keys and the firmware transfer reach by their role, not by their
    // form names (null / empty before the form is built). axis 0 ... 3 = X, Y, Z, C; direction
    // -1 or +1.
    QPushButton* JogButton(int axis, int direction) const;
    QList<QPushButton*> EmergencyStopButtons() const;
    // The continuous jog beside the step jog (null before the form is built).
    JogPad* GetJogPad() const { return jogPad; }

Q_SIGNALS:
    // One line for the operator's log: an action of this panel on its controller and the
    // controller's answer (the window adds the time).
    void SignalLog(QString text);
    // A message for the window's status bar; timeoutMs 0 keeps it until the next one.
    void SignalStatusMessage(QString text, int timeoutMs);

public Q_SLOTS:
    void SlotStepsToggled(bool isToggled);
    void SlotXneg();
    void SlotYneg();
    void SlotXpos();
    void SlotYpos();
    void SlotZneg();
    void SlotCneg();
    void SlotZpos();
    void SlotCpos();
    void SlotFahreRelativXY();
    void SlotFahreRelativZC();
    void SlotHaltePosition();
    void SlotNullPunktSetzen();
    void SlotParken();
    void SlotReferenzfahrt();
    void SlotSpKuSetzen();
    void SlotAllgAusgSetzen();
    void SlotAllgEingDeaktivieren();
    void SlotNotHalt();
    void SlotNotStop();
    void SlotFehlerQuit();

    // A panel that is a tab page builds its form before the page shows on screen, so it lays
    // out and paints complete from its first frame. (A page only marked to show, inside a
    // window not shown yet, waits.)
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildForm();

    // The red emergency stops with their key hint, and the banner shown while commands go
    // to the editor.
    void AddSafetyCues();

    // Steps 1 and 2 of every command slot: an active controller, and when commands go to it,
    // a connection and no unacknowledged error.
    bool CommandMayGoOn();
    // The emergency, acknowledge and input-deactivation slots: connection check only.
    bool ControllerConnectedForDirectCommand();
    ManualCommands::Unit CurrentUnit() const;
    // axis 0 ... 3 = X, Y, Z, C; direction -1 or +1.
    void Jog(int axis, int direction);
    void MoveRelative(ManualCommands::Pair pair, QLineEdit* firstEdit, QLineEdit* secondEdit);
    // Sends an accepted command; else shows the message and selects the edit (of edits, in
    // the order the values were given) that holds the rejected value.
    void SendOrReject(const ManualCommands::Result& result, const QList<QLineEdit*>& edits);
    void RejectInput(QLineEdit* edit, const QString& message);
    // Steps 5 and 6: the library call (only when commands go to the controller), then the line.
    // Returns the call's result, -1 when the call did not go to the controller. A call that
    // went logs a refusal, and its success too when action names it.
    int Send(const ManualCommands::Result& command, const QString& action = QString());
    // The call's result logged as action's outcome, then what the device sent for it.
    void LogCall(const QString& action, int result, bool logSuccess = true);
    // An emergency row button: the call straight to the controller, logged.
    void DirectCall(const ManualCommands::Call& call, const QString& action);
    // Follows the reference run this panel started through its controller's reports.
    void SlotControllerStatus(const QString& port);
    // The controller's port is mapped to a GRBL device.
    bool IsGrblPort() const;
    // The velocity edit and the eight distance and zero-point edits.
    QList<QLineEdit*> ValueEdits() const;

    TarvoController* controller;
    bool stepsMode = true;
    bool referenceWatched = false;  // the status bar says the axes are being referenced
    std::unique_ptr<ManualCommandValues> values;
    std::unique_ptr<ManualCommands> commands;  // reads and writes *values
    std::unique_ptr<QIntValidator> velocityStepsValidator;
    std::unique_ptr<QDoubleValidator> velocityMmValidator;
    std::unique_ptr<QIntValidator> holdTimeValidator;
    std::unique_ptr<QIntValidator> distanceStepsValidator;
    std::unique_ptr<QDoubleValidator> distanceMmValidator;
    std::unique_ptr<Ui::ManualControlWnd> ui;
    QLabel* editorModeBanner = nullptr;
    JogPad* jogPad = nullptr;
};
