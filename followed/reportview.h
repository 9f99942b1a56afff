#pragma once

#include "gui/sortproxy.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <QStringView>
#include <QTreeView>
#include <vector>

// The rows of a report-style list, a fixed number of cells per row (the row's text first,
// then its sub-items). All texts live in one buffer: a list of tens of thousands of rows is
// filled, sorted and dropped without an allocation per cell.
class ReportRows {
public:
    explicit ReportRows(int columns = 0) : m_columns(qMax(1, columns)) {}

    void reserve(int rows, int charsPerRow);
    // Cells are added in order, row after row.
    void addCell(QStringView text);
    void addCell(QByteArrayView utf8); // decoded straight into the buffer
    int rowCount() const { return static_cast<int>(m_starts.size()) / m_columns; }
    int columnCount() const { return m_columns; }
    QStringView cell(int row, int column) const;
    // Default colour when invalid.
    QColor color(int row) const;
    void setColor(int row, const QColor& color);

    // The rows in the given order (a permutation of the row numbers).
    ReportRows reordered(const std::vector<int>& order) const;

private:
    void startCell();

    int m_columns;
    QString m_text;
    std::vector<int> m_starts;  // where each cell begins in m_text
    std::vector<QRgb> m_colors; // 0: the default colour
};

class ReportModel : public QAbstractTableModel, public sorting::KeySource {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The keys of a column's texts (sorting::textKeys): dates by the calendar, numbers by
    // value, words in French order, the codes of a column of places after its numbers.
    sorting::ColumnKeys sortKeys(int column) const override;
    // Reorders the rows themselves by those keys, equal cells in their previous order. The
    // view leaves the rows where they are and sorts through its proxy.
    void sort(int column, Qt::SortOrder order) override;

    // Replaces the headers; the rows go with them.
    void setHeaders(const QStringList& headers);
    const QStringList& headers() const { return m_headers; }
    void setRows(ReportRows rows);
    const ReportRows& rows() const { return m_rows; }
    // The cell's text, or an empty string for a cell the row does not have.
    QString cellText(int row, int column) const;
    // Colours every row with one change notification; colorOf(row) gives the colour.
    template <typename ColorOf> void colorRows(ColorOf colorOf) {
        const int count = m_rows.rowCount();
        for (int row = 0; row < count; ++row)
            m_rows.setColor(row, colorOf(row));
        if (count > 0)
            emit dataChanged(index(0, 0), index(count - 1, qMax(0, int(m_headers.size()) - 1)),
                             {Qt::ForegroundRole});
    }

private:
    QStringList m_headers;
    ReportRows m_rows;
};

// A report-style list view: column headers with widths given in twips (1/1440 inch), rows
// of texts, a text colour per row. Its preferred width is set in twips too, as the window's
// design gives it. The rows show sorted through a SortProxy; a row number given to or
// returned by the view is the report's own, whatever the order shown.
class ReportView : public QTreeView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    ReportModel* report() const { return m_model; }

    int twipsToPixels(int twips) const;

    // Replaces the rows; they show in their own order until the next sortRows().
    void setRows(ReportRows rows);
    // Shows the rows sorted by column (see ReportModel::sortKeys), with the header's sort
    // indicator; equal cells stay in the order shown before.
    void sortRows(int column, Qt::SortOrder order);

    // Removes every row; the columns stay.
    void clearRows();
    // Removes every column header and every row.
    void clearColumns();
    struct Column {
        const char* header; // UTF-8
        int widthTwips;
        // Kept at its width whatever its texts: a column meant to be all but hidden.
        bool fixedWidth = false;
    };
    // Replaces every column header (and so every row) at once; returns the total width in
    // twips. The same columns again keep the widths their texts gave them until
    // fitColumnsToText(): a list reloaded is laid out and painted once.
    int setColumns(const QVector<Column>& columns);
    // Widens each column that is not fixed to its header and its widest cell, up to
    // kMaxFittedTwips (or its own width when larger); a narrower column gets its own width
    // back.
    void fitColumnsToText();
    static constexpr int kMaxFittedTwips = 4000;

    int rowCount() const { return m_model->rowCount(); }
    QString cellText(int row, int column) const { return m_model->cellText(row, column); }
    // The report's row selected, or -1.
    int selectedRow() const;

    // Preferred width of the list in twips; a visible window grows to show it when the
    // screen has room.
    void setWidthTwips(int twips);
    int widthTwips() const { return m_widthTwips; }
    QSize sizeHint() const override;

protected:
    // A cell cut short shows its whole text as tooltip; elsewhere the list's own tooltip.
    bool viewportEvent(QEvent* event) override;

private:
    // Once the rows are gone: the next ones show in their own order.
    void forgetOrder();

    ReportModel* m_model;
    SortProxy* m_proxy;
    QVector<Column> m_columns;
    int m_widthTwips = 0;
};
