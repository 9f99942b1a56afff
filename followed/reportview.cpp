#include "followed/reportview.h"

#include "data/statement.h"
#include "gui/plaintextdelegate.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScreen>
#include <QStringDecoder>
#include <QStyle>
#include <QToolTip>
#include <array>
#include <cmath>

void ReportRows::reserve(int rows, int charsPerRow) {
    m_text.reserve(qsizetype(rows) * charsPerRow);
    m_starts.reserve(size_t(rows) * m_columns);
    m_colors.reserve(size_t(rows));
}

void ReportRows::startCell() {
    if (m_starts.size() % m_columns == 0)
        m_colors.push_back(0);
    m_starts.push_back(static_cast<int>(m_text.size()));
}

void ReportRows::addCell(QStringView text) {
    startCell();
    m_text.append(text);
}

void ReportRows::addCell(QByteArrayView utf8) {
    startCell();
    appendUtf8(m_text, utf8);
}

QStringView ReportRows::cell(int row, int column) const {
    if (row < 0 || column < 0 || column >= m_columns)
        return {};
    const size_t i = size_t(row) * m_columns + column;
    if (i >= m_starts.size())
        return {};
    const int end = i + 1 < m_starts.size() ? m_starts[i + 1] : static_cast<int>(m_text.size());
    return QStringView(m_text).mid(m_starts[i], end - m_starts[i]);
}

QColor ReportRows::color(int row) const {
    const QRgb rgb = row >= 0 && size_t(row) < m_colors.size() ? m_colors[row] : 0;
    return rgb ? QColor::fromRgb(rgb) : QColor();
}

void ReportRows::setColor(int row, const QColor& color) {
    if (row >= 0 && size_t(row) < m_colors.size())
        m_colors[row] = color.isValid() ? color.rgb() : 0;
}

ReportRows ReportRows::reordered(const std::vector<int>& order) const {
    ReportRows result(m_columns);
    result.reserve(rowCount(), rowCount() ? int(m_text.size() / rowCount()) + 1 : 0);
    for (int row : order) {
        for (int column = 0; column < m_columns; ++column)
            result.addCell(cell(row, column));
        result.m_colors.back() = m_colors[row];
    }
    return result;
}

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.rowCount();
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_headers.size();
}

QModelIndex ReportModel::index(int row, int column, const QModelIndex& parent) const {
    // Asked twice by each comparison of a sort and once a row by the view's layout: the
    // bounds are checked here rather than through the virtual counts.
    if (parent.isValid() || row < 0 || column < 0 || row >= m_rows.rowCount() ||
        column >= m_headers.size())
        return QModelIndex();
    return createIndex(row, column);
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.rowCount())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_rows.cell(index.row(), index.column()).toString();
    case Qt::ForegroundRole: {
        const QColor color = m_rows.color(index.row());
        return color.isValid() ? QVariant(color) : QVariant();
    }
    default:
        return QVariant();
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QVariant();
}

sorting::ColumnKeys ReportModel::sortKeys(int column) const {
    return sorting::textKeys(m_rows.rowCount(), [&](int row) { return m_rows.cell(row, column); });
}

void ReportModel::sort(int column, Qt::SortOrder order) {
    const int count = m_rows.rowCount();
    if (column < 0 || count < 2)
        return;
    const std::vector<int> sorted = sortKeys(column).order(order);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPlace(count);
    for (int i = 0; i < count; ++i)
        newPlace[sorted[i]] = i;
    m_rows = m_rows.reordered(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after << this->index(newPlace[index.row()], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ReportModel::setHeaders(const QStringList& headers) {
    beginResetModel();
    m_headers = headers;
    m_rows = ReportRows(); // rows of other columns mean nothing under the new headers
    endResetModel();
}

void ReportModel::setRows(ReportRows rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QString ReportModel::cellText(int row, int column) const {
    return m_rows.cell(row, column).toString();
}

ReportView::ReportView(QWidget* parent)
    : QTreeView(parent), m_model(new ReportModel(this)), m_proxy(new SortProxy(this)) {
    m_proxy->setSourceModel(m_model);
    setModel(m_proxy);
    setItemDelegate(new PlainTextDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true); // keeps long lists fast: one row height for all
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false); // the window sorts on a header click itself
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0); // a 10-twip column is meant to be all but hidden
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setSortIndicatorShown(false);
}

int ReportView::twipsToPixels(int twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

void ReportView::setRows(ReportRows rows) {
    if (m_proxy->sortColumn() >= 0) {
        // Unsorted with no rows rather than with the old ones, which would be put back in
        // order only to be dropped.
        m_model->setRows(ReportRows());
        forgetOrder();
    }
    m_model->setRows(std::move(rows));
}

void ReportView::sortRows(int column, Qt::SortOrder order) {
    m_proxy->sort(column, order);
    header()->setSortIndicator(column, order);
    header()->setSortIndicatorShown(true);
}

void ReportView::forgetOrder() {
    if (m_proxy->sortColumn() >= 0)
        m_proxy->sort(-1);
}

void ReportView::clearRows() {
    m_model->setRows(ReportRows());
    forgetOrder();
}

void ReportView::clearColumns() {
    m_model->setHeaders({});
    forgetOrder();
    m_columns.clear();
    header()->setSortIndicatorShown(false);
}

int ReportView::setColumns(const QVector<Column>& columns) {
    // One reset rather than a header change per column: the view lays itself out once.
    QStringList headers;
    int total = 0;
    for (const Column& column : columns) {
        headers << QString::fromUtf8(column.header);
        total += column.widthTwips;
    }
    m_columns = columns;
    header()->setSortIndicatorShown(false);
    // The same list again (another horse's races): the headers stay, the rows go.
    const bool same = headers == m_model->headers();
    if (same)
        m_model->setRows(ReportRows());
    else
        m_model->setHeaders(headers);
    forgetOrder();
    for (int i = 0; i < m_columns.size(); ++i) {
        // A width changed twice before the next paint still repaints the list twice.
        if (same && !m_columns.at(i).fixedWidth)
            continue;
        const int pixels = twipsToPixels(m_columns.at(i).widthTwips);
        if (header()->sectionSize(i) != pixels)
            header()->resizeSection(i, pixels);
    }
    return total;
}

namespace {

// The widths of many short texts: each character is measured once and kerning is left out
// (it only narrows a text), so that tens of thousands of cells are measured in milliseconds.
class TextWidths {
public:
    explicit TextWidths(const QFont& font) : m_metrics(font) { m_latin.fill(-1); }
    qreal operator()(QStringView text) {
        qreal width = 0;
        for (const QChar c : text)
            width += advance(c);
        return width;
    }

private:
    qreal advance(QChar c) {
        if (c.unicode() < m_latin.size()) {
            qreal& known = m_latin[c.unicode()];
            if (known < 0)
                known = m_metrics.horizontalAdvance(c);
            return known;
        }
        auto found = m_other.constFind(c.unicode());
        if (found == m_other.constEnd())
            found = m_other.insert(c.unicode(), m_metrics.horizontalAdvance(c));
        return *found;
    }

    QFontMetricsF m_metrics;
    std::array<qreal, 256> m_latin;
    QHash<char16_t, qreal> m_other;
};

} // namespace

void ReportView::fitColumnsToText() {
    const ReportRows& rows = m_model->rows();
    // The margins the list's delegate leaves either side of a text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    TextWidths widthOf(font());
    for (int column = 0; column < m_columns.size(); ++column) {
        const Column& design = m_columns.at(column);
        if (design.fixedWidth)
            continue;
        const int own = twipsToPixels(design.widthTwips);
        const int cap = qMax(own, twipsToPixels(kMaxFittedTwips));
        int wanted = qMax(own, header()->sectionSizeHint(column));
        qreal widest = 0;
        QStringView widestText;
        for (int row = 0; row < rows.rowCount() && widest + 2 * margin < cap; ++row) {
            const QStringView text = rows.cell(row, column);
            const qreal width = widthOf(text);
            if (width > widest) {
                widest = width;
                widestText = text;
            }
        }
        if (!widestText.isEmpty()) {
            // Measured whole as well, for a font whose shaping widens a text.
            const qreal whole = QFontMetricsF(font()).horizontalAdvance(widestText.toString());
            wanted = qMax(wanted, int(std::ceil(qMax(widest, whole))) + 2 * margin);
        }
        wanted = qMin(wanted, cap);
        if (header()->sectionSize(column) != wanted)
            header()->resizeSection(column, wanted);
    }
}

int ReportView::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : m_proxy->mapToSource(rows.first()).row();
}

void ReportView::setWidthTwips(int twips) {
    m_widthTwips = twips;
    updateGeometry();
    QWidget* top = window();
    if (!top->isVisible())
        return;
    // Grow the window so the whole list shows, as far as the screen allows.
    const int missing = twipsToPixels(twips) - width();
    if (missing <= 0)
        return;
    int wanted = top->width() + missing;
    if (const QScreen* screen = top->screen())
        wanted = qMin(wanted, screen->availableGeometry().width() -
                                  (top->frameGeometry().width() - top->width()));
    if (wanted <= top->width())
        return;
    top->resize(wanted, top->height());
    // Grown to the right, it may now overhang the screen's edge: it moves back onto it.
    if (const QScreen* screen = top->screen()) {
        const QRect room = screen->availableGeometry();
        const QRect frame = top->frameGeometry();
        if (frame.right() > room.right())
            top->move(qMax(room.left(), room.right() - frame.width() + 1), top->y());
    }
}

bool ReportView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        const QModelIndex cellIndex = m_proxy->mapToSource(index);
        const QString text = cellIndex.isValid()
                                 ? m_model->cellText(cellIndex.row(), cellIndex.column())
                                 : QString();
        if (!text.isEmpty()) {
            const QRect cell = visualRect(index);
            const int margin =
                style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
            // Cut short as the delegate cuts it.
            if (fontMetrics().elidedText(text, Qt::ElideRight, cell.width() - 2 * margin) != text) {
                QToolTip::showText(help->globalPos(), text, viewport(), cell);
                return true;
            }
        }
    }
    return QTreeView::viewportEvent(event);
}

QSize ReportView::sizeHint() const {
    QSize hint = QTreeView::sizeHint();
    if (m_widthTwips > 0)
        hint.setWidth(twipsToPixels(m_widthTwips));
    return hint;
}
