#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <QTreeView>
#include <vector>

// The rows of a report-style list: one text per cell, an optional text colour per row.
// Rows are plain strings in one vector so that a list of tens of thousands of rows fills
// in one model reset, without an item object per cell.
class ReportModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Row {
        QStringList cells; // the row's text first, then its sub-items
        QColor color;      // invalid: the view's default colour
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Compares the cell texts as words (case ignored, accents in French order), keeping the
    // previous order between equal cells; numbers are texts here, so "10" comes before "9".
    void sort(int column, Qt::SortOrder order) override;

    void setHeaders(const QStringList& headers);
    void addHeader(const QString& header);
    const QStringList& headers() const { return m_headers; }
    void setRows(std::vector<Row> rows);
    const std::vector<Row>& rows() const { return m_rows; }
    // The cell's text, or an empty string for a cell the row does not have.
    QString cellText(int row, int column) const;
    void setRowColor(int row, const QColor& color);
    // Colours many rows with a single change notification.
    template <typename ColorOf> void colorRows(ColorOf colorOf) {
        for (Row& row : m_rows)
            row.color = colorOf(row);
        if (!m_rows.empty())
            emit dataChanged(index(0, 0),
                             index(int(m_rows.size()) - 1, qMax(0, int(m_headers.size()) - 1)),
                             {Qt::ForegroundRole});
    }

private:
    QStringList m_headers;
    std::vector<Row> m_rows;
};

// A report-style list view: column headers with widths given in twips (1/1440 inch), rows
// of texts, a text colour per row. Its preferred width is set in twips too, as the window's
// design gives it.
class ReportView : public QTreeView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    ReportModel* report() const { return m_model; }

    int twipsToPixels(int twips) const;

    // Removes every row; the columns stay.
    void clearRows();
    // Removes every column header and every row.
    void clearColumns();
    // Adds a column and returns its width in twips, as set.
    int addColumn(const QString& header, int widthTwips);

    int rowCount() const { return m_model->rowCount(); }
    QString cellText(int row, int column) const { return m_model->cellText(row, column); }
    // The selected row, or -1.
    int selectedRow() const;
    void selectRow(int row);

    // Preferred width of the list in twips; a visible window grows to show it when the
    // screen has room.
    void setWidthTwips(int twips);
    int widthTwips() const { return m_widthTwips; }
    QSize sizeHint() const override;

private:
    ReportModel* m_model;
    QVector<int> m_columnTwips;
    int m_widthTwips = 0;
};
