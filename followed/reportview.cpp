#include "followed/reportview.h"

#include <QCollator>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <algorithm>
#include <numeric>

int ReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_headers.size();
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return QVariant();
    const Row& row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() < row.cells.size() ? row.cells.at(index.column()) : QString();
    case Qt::ForegroundRole:
        return row.color.isValid() ? QVariant(row.color) : QVariant();
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

void ReportModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || m_rows.size() < 2)
        return;
    QCollator collator(QLocale(QLocale::French, QLocale::France));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // One collation key per row instead of collating the same texts again at each compare.
    std::vector<QCollatorSortKey> keys;
    keys.reserve(m_rows.size());
    for (const Row& row : m_rows)
        keys.push_back(
            collator.sortKey(column < row.cells.size() ? row.cells.at(column) : QString()));
    std::vector<int> order_(m_rows.size());
    std::iota(order_.begin(), order_.end(), 0);
    std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
        return order == Qt::AscendingOrder ? keys[a].compare(keys[b]) < 0
                                           : keys[b].compare(keys[a]) < 0;
    });
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newPlace(m_rows.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        newPlace[order_[i]] = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[order_[i]]));
    }
    m_rows = std::move(sorted);
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
    if (headers.isEmpty())
        m_rows.clear();
    endResetModel();
}

void ReportModel::addHeader(const QString& header) {
    beginInsertColumns(QModelIndex(), m_headers.size(), m_headers.size());
    m_headers << header;
    endInsertColumns();
}

void ReportModel::setRows(std::vector<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

QString ReportModel::cellText(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return QString();
    const QStringList& cells = m_rows[row].cells;
    return column >= 0 && column < cells.size() ? cells.at(column) : QString();
}

void ReportModel::setRowColor(int row, const QColor& color) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return;
    m_rows[row].color = color;
    emit dataChanged(index(row, 0), index(row, qMax(0, int(m_headers.size()) - 1)),
                     {Qt::ForegroundRole});
}

ReportView::ReportView(QWidget* parent) : QTreeView(parent), m_model(new ReportModel(this)) {
    setModel(m_model);
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

void ReportView::clearRows() {
    m_model->setRows({});
}

void ReportView::clearColumns() {
    m_model->setHeaders({});
    m_columnTwips.clear();
    header()->setSortIndicatorShown(false);
}

int ReportView::addColumn(const QString& header, int widthTwips) {
    m_model->addHeader(header);
    m_columnTwips << widthTwips;
    this->header()->resizeSection(m_model->columnCount() - 1, twipsToPixels(widthTwips));
    return m_columnTwips.last();
}

int ReportView::selectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ReportView::selectRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
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
    if (wanted > top->width())
        top->resize(wanted, top->height());
}

QSize ReportView::sizeHint() const {
    QSize hint = QTreeView::sizeHint();
    if (m_widthTwips > 0)
        hint.setWidth(twipsToPixels(m_widthTwips));
    return hint;
}
