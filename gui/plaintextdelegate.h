#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <utility>
#include <vector>

// Paints a list's cells of one line of plain text as the style's own delegate does, at a
// fraction of its cost. The style lays out each cell's text two or three times on every
// paint; here a text is laid out once, and kept for the next paints. Cells with an icon, a
// check box or more than one line are left to the style.
class PlainTextDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // A cell cut short shows its whole text as a tooltip, before the model's own.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // Whether the cell's text is wider than the room it has.
    static bool isCut(const QStyleOptionViewItem& option, const QModelIndex& index);

private:
    // The text laid out in the item's font, cut short when wider than `width`.
    const QStaticText& layout(const QString& text, const QStyleOptionViewItem& item,
                              int width) const;

    struct Layouts {
        QFont font;
        QHash<QString, QStaticText> texts;
        QHash<std::pair<QString, int>, QStaticText> cut; // by text and width
    };
    mutable std::vector<Layouts> m_layouts; // one per font met (plain, bold)
};
