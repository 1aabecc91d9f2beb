#include "panelscrollarea.h"

#include <QScrollBar>

PanelScrollArea::PanelScrollArea(QWidget* parent)
    : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
}

QSize PanelScrollArea::sizeHint() const
{
    if (!widget())
        return QScrollArea::sizeHint();
    const QSize hint = widget()->sizeHint();
    return {hint.width() + verticalScrollBar()->sizeHint().width(), hint.height()};
}

QSize PanelScrollArea::minimumSizeHint() const
{
    if (!widget())
        return QScrollArea::minimumSizeHint();
    // The full width, so nothing is cut sideways; a few rows high, the rest scrolls.
    const int width = widget()->minimumSizeHint().width()
        + verticalScrollBar()->sizeHint().width();
    return {width, qMin(widget()->minimumSizeHint().height(), 120)};
}
