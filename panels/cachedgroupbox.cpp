#include "cachedgroupbox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

CachedGroupBox::CachedGroupBox(QWidget* parent)
    : QGroupBox(parent)
{
}

bool CachedGroupBox::SameAsCached(const QStyleOptionGroupBox& option) const
{
    const QStyleOptionGroupBox& old = cachedOption;
    return !picture.isNull() && cachedStyle == style() && cachedRatio == devicePixelRatioF()
           && cachedFont == font() && old.rect == option.rect && old.state == option.state
           && old.direction == option.direction
           && old.palette.cacheKey() == option.palette.cacheKey()
           && old.palette.currentColorGroup() == option.palette.currentColorGroup()
           && old.text == option.text && old.textAlignment == option.textAlignment
           && old.textColor == option.textColor && old.subControls == option.subControls
           && old.activeSubControls == option.activeSubControls
           && old.features == option.features && old.lineWidth == option.lineWidth
           && old.midLineWidth == option.midLineWidth;
}

void CachedGroupBox::paintEvent(QPaintEvent* event)
{
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    if (!SameAsCached(option)) {
        // What QGroupBox paints, drawn once into the picture with the widget's font and pen.
        const qreal ratio = devicePixelRatioF();
        picture = QPixmap(size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setFont(font());
        painter.setPen(palette().color(foregroundRole()));
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
        cachedOption = option;
        cachedStyle = style();
        cachedFont = font();
        cachedRatio = ratio;
    }
    QPainter painter(this);
    const QRect area = event->rect();
    const qreal ratio = picture.devicePixelRatio();
    painter.drawPixmap(area, picture,
                       QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio));
}
