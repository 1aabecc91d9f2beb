#pragma once
// Jog beside the step jog of the manual panel: buttons and keys that move an axis while they
// are held (the controller's continuous jog) or by a chosen step, at a jog feed. A continuous
// jog ends whenever the hand lets go: button or key release, focus leaving the pad, the
// window losing activation, the pad hidden, and a lost connection.

#include <QGroupBox>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class TarvoController;

class JogPad : public QGroupBox {
    Q_OBJECT
public:
    explicit JogPad(TarvoController* controller, QWidget* parent = nullptr);
    ~JogPad() override;

    // axis 0 ... 3 = X, Y, Z, C; direction -1 or +1.
    QPushButton* Button(int axis, int direction) const;
    bool IsJogging() const { return jogging; }
    // The step in mm; 0 = continuous.
    double StepMm() const;
    double FeedMmPerMin() const;
    // Ends a running continuous jog; nothing when none runs.
    void StopJog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Press(int axis, int direction);
    void Release();
    void ShowMessage(const QString& text);
    void FocusChanged(QWidget* old, QWidget* now);
    void StatusChanged(const QString& port);

    TarvoController* controller;
    QComboBox* stepBox = nullptr;
    QDoubleSpinBox* feedBox = nullptr;
    QLabel* messageLabel = nullptr;
    QPushButton* buttons[4][2] = {};
    bool jogging = false;  // a continuous jog of this pad runs
    int heldKey = 0;       // the key that holds the jog, 0 = none
};
