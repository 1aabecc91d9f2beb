#pragma once
// A group box that keeps the picture of its own frame and title and repaints from it.
//
// The status panel's read-outs sit in group boxes and change many times a second. Their
// widgets are not opaque, so each change repaints the group box behind them, and the style's
// group box frame is costly to draw (the Fusion style even looks up its frame picture's
// modification time on every paint). The picture is redrawn only when anything the style
// sees changes: size, title, palette, font, state or style.

#include <QGroupBox>
#include <QPixmap>
#include <QStyleOptionGroupBox>

class CachedGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit CachedGroupBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool SameAsCached(const QStyleOptionGroupBox& option) const;

    QPixmap picture;
    QStyleOptionGroupBox cachedOption;
    const QStyle* cachedStyle = nullptr;
    QFont cachedFont;
    qreal cachedRatio = 0;
};
