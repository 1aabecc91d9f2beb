#pragma once
// The active controller's machine and work positions side by side, its work offsets (GRBL's
// G54 ... G59; the zero point of our controllers), and the buttons that zero axes and move to
// the work zero. Follows the kernel's active controller like the status panel.

#include <QElapsedTimer>
#include <QGroupBox>

#include <array>

class QLabel;
class QPushButton;
class TarvoController;

namespace quenta {
struct WorkCoordinates;
}

class WorkCoordsPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit WorkCoordsPanel(QWidget* parent = nullptr);
    ~WorkCoordsPanel() override;

    // Redraws from the active controller (the kernel's status signals call it).
    void Refresh();
    // axes: bits 1 X, 2 Y, 4 Z, 8 C.
    void ZeroAxes(unsigned axes);
    void GoToZero();

private:
    void SetExpanded(bool expanded);
    void ShowNothing();
    // A position of the controller in millimetres, or in steps when its resolution is unknown.
    QString Format(TarvoController* controller, const quenta::WorkCoordinates& wc, int axis,
                   double value) const;
    void ShowOffsets(TarvoController* controller, const quenta::WorkCoordinates& wc);
    void Report(TarvoController* controller, bool done, const QString& what);

    std::array<QLabel*, 4> axisLabels{};
    std::array<QLabel*, 4> machineLabels{};
    std::array<QLabel*, 4> workLabels{};
    QWidget* body = nullptr;        // the table, the offsets and the buttons
    QLabel* summaryLabel = nullptr;  // folded: the work position in one line
    QLabel* offsetsLabel = nullptr;
    QLabel* messageLabel = nullptr;
    QPushButton* zeroButtons[4] = {};  // X, Y, Z, all
    QPushButton* goToZeroButton = nullptr;
    // The controller whose offsets were read since it became active and connected.
    TarvoController* offsetsRead = nullptr;
    QElapsedTimer offsetsAsked;
    bool showingNothing = false;
};
