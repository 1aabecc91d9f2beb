#pragma once
// Holds a tall panel (or the part of one below its fixed rows): as wide as the panel wants,
// scrolling vertically when the window is lower than the panel, so the panel never forces
// the window beyond the screen.

#include <QScrollArea>

class PanelScrollArea : public QScrollArea {
public:
    explicit PanelScrollArea(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
};
