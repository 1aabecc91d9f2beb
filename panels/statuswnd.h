#pragma once
// Shows the last status report of the kernel's active controller as positions, pins and the
// command buffer's fill level.

#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class QLabel;
class TarvoParameters;

namespace Ui {
class StatusWnd;
}

class StatusWnd : public QWidget {
    Q_OBJECT
public:
    explicit StatusWnd(QWidget* parent = nullptr);
    ~StatusWnd() override;

public Q_SLOTS:
    void SlotUpdateControllerStatus(QString sPort);
    void SlotUpdate();

private:
    enum Pin { PinGreen, PinYellow, PinGrey, PinRed, PinCount, PinUnset = PinCount };

    void RefreshStatus();
    void ShowNoController();
    void SetPin(int label, Pin pin);
    void SetProgress(int percent);
    // Positions in millimetres from the set's resolutions (steps per mm), beside the steps.
    void ShowMillimetres(const TarvoParameters& parameters, const std::array<int32_t, 4>& steps);
    // The RAM program the controller runs, its slot and pass; nothing while none runs.
    void ShowRamProgram(const QString& text);

    std::unique_ptr<Ui::StatusWnd> ui;
    std::array<QPixmap, PinCount> pins;
    // The 30 pin labels and the pin each one shows, so a refresh only touches what changed.
    std::array<QLabel*, 30> pinLabels{};
    std::array<Pin, 30> shownPins{};
    std::array<QLabel*, 4> mmLabels{};
    QLabel* ramProgramLabel = nullptr;
};
