#include "gui/panelcache.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOption>

void PanelCacheStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    // Only a plain copy may stand for the drawing: no scaling or rotation, a solid fill.
    if (element != PE_PanelLineEdit || !frame || !painter ||
        painter->worldTransform().type() > QTransform::TxTranslate ||
        option->palette.base().style() != Qt::SolidPattern || option->rect.isEmpty()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    // Everything the frame's pixels depend on.
    const QString key = QStringLiteral("velmora-lineedit-%1x%2-%3-%4-%5-%6-%7-%8")
                            .arg(option->rect.width())
                            .arg(option->rect.height())
                            .arg(ratio)
                            .arg(uint(option->state))
                            .arg(option->palette.cacheKey())
                            .arg(frame->lineWidth)
                            .arg(frame->midLineWidth)
                            .arg(uint(option->direction) + 10 * uint(frame->features));
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QPixmap(option->rect.size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QStyleOptionFrame atOrigin(*frame);
        atOrigin.rect.moveTo(0, 0);
        QPainter drawing(&picture);
        QProxyStyle::drawPrimitive(element, &atOrigin, &drawing, widget);
        drawing.end();
        QPixmapCache::insert(key, picture);
    }
    painter->drawPixmap(option->rect.topLeft(), picture);
}
