#include "gui/plaintextdelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Enough for every cell a screen shows many times over; beyond it the texts are laid out
// afresh rather than kept without end.
constexpr qsizetype kMaxKept = 20000;

QPalette::ColorGroup colorGroup(const QStyleOptionViewItem& option) {
    if (!(option.state & QStyle::State_Enabled))
        return QPalette::Disabled;
    return (option.state & QStyle::State_Active) ? QPalette::Normal : QPalette::Inactive;
}

} // namespace

void PlainTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    // Icons, check boxes and texts of several lines are the style's: rare in these lists.
    if (item.features &
            (QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasCheckIndicator |
             QStyleOptionViewItem::WrapText) ||
        item.text.contains(QChar::LineSeparator)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = item.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus as the style draws them; the text is ours. The cell
    // with the focus frame is rare enough to leave to the style whole.
    const QString text = std::exchange(item.text, QString());
    if (item.state & QStyle::State_HasFocus)
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    else
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);
    if (text.isEmpty())
        return;

    // The style's own margins and placement of an item's text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = item.rect.adjusted(margin, 0, -margin, 0);
    const QPalette::ColorRole role =
        (item.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text;
    const Qt::Alignment alignment = QStyle::visualAlignment(item.direction, item.displayAlignment);
    const QStaticText& laid = layout(text, item, area.width());
    const QSize size = laid.size().toSize();
    const QRect place = QStyle::alignedRect(item.direction, alignment, size, area);
    painter->save();
    // Even cut short, a text may not fit a column narrower than "…": it stays in its cell.
    if (size.width() > area.width())
        painter->setClipRect(item.rect, Qt::IntersectClip);
    painter->setFont(item.font);
    painter->setPen(item.palette.color(colorGroup(item), role));
    painter->drawStaticText(place.topLeft(), laid);
    painter->restore();
}

bool PlainTextDelegate::isCut(const QStyleOptionViewItem& option, const QModelIndex& index) {
    const QVariant display = index.data(Qt::DisplayRole);
    const QVariant font = index.data(Qt::FontRole);
    const QFontMetrics metrics(font.isValid() ? font.value<QFont>() : option.font);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return metrics.horizontalAdvance(display.toString()) > option.rect.width() - 2 * margin;
}

bool PlainTextDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                  const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event && event->type() == QEvent::ToolTip && index.isValid() && isCut(option, index)) {
        QString tip = index.data(Qt::DisplayRole).toString();
        const QString own = index.data(Qt::ToolTipRole).toString();
        if (!own.isEmpty())
            tip += QLatin1Char('\n') + own;
        QToolTip::showText(event->globalPos(), tip, view, option.rect);
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

const QStaticText& PlainTextDelegate::layout(const QString& text, const QStyleOptionViewItem& item,
                                             int width) const {
    auto layouts = std::find_if(m_layouts.begin(), m_layouts.end(),
                                [&](const Layouts& kept) { return kept.font == item.font; });
    if (layouts == m_layouts.end()) {
        m_layouts.push_back({item.font, {}, {}});
        layouts = std::prev(m_layouts.end());
    }
    const auto prepared = [&](const QString& shown) {
        QStaticText laid(shown);
        laid.setTextFormat(Qt::PlainText);
        laid.prepare(QTransform(), item.font);
        return laid;
    };
    auto whole = layouts->texts.constFind(text);
    if (whole == layouts->texts.constEnd()) {
        if (layouts->texts.size() >= kMaxKept)
            layouts->texts.clear();
        whole = layouts->texts.insert(text, prepared(text));
    }
    // Measured to the pixel, as the column widths are: a fraction over is within the last
    // glyph's own spacing.
    if (whole->size().toSize().width() <= width)
        return *whole;
    // Too wide for its column: cut short as the style does.
    const std::pair<QString, int> key(text, width);
    auto cut = layouts->cut.constFind(key);
    if (cut == layouts->cut.constEnd()) {
        if (layouts->cut.size() >= kMaxKept)
            layouts->cut.clear();
        cut = layouts->cut.insert(
            key, prepared(item.fontMetrics.elidedText(text, item.textElideMode, width)));
    }
    return *cut;
}
