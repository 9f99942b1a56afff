#include "ledger/statementpages.h"

#include "data/regional.h"
#include "gui/colours.h"

#include <QGuiApplication>
#include <QHash>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <numeric>
#include <optional>

namespace exports {
namespace {

using colours::kBlack;
using colours::kGreen;
using colours::kRed;

// Pages are laid out in tenths of a point whatever the device's resolution, with fonts sized
// in those units: a printer and the PDF writer break lines and pages at the same places.
constexpr double kUnitsPerInch = 720;
constexpr double kUnitsPerPoint = 10;
constexpr int kBodySize = 90;   // 9 pt
constexpr int kTitleSize = 140; // 14 pt

enum Column { Jour, Type, Cheval, Mise, Gain, Solde, Remarque, kColumnCount };

struct ColumnSpec {
    const char* title;
    Qt::Alignment alignment;
    bool amount;   // always on one line, never narrower than its widest amount
    double weight; // its part of the width left once every column is wide enough
};
const ColumnSpec kColumns[kColumnCount] = {
    {"Jour", Qt::AlignLeft, false, 0},      {"Type de jeu", Qt::AlignHCenter, false, 20},
    {"Cheval", Qt::AlignLeft, false, 17},   {"Mise", Qt::AlignRight, true, 0},
    {"Gain", Qt::AlignRight, true, 0},      {"Solde", Qt::AlignRight, true, 0},
    {"Remarque", Qt::AlignLeft, false, 19},
};
using Widths = std::array<double, kColumnCount>;

// Fonts by style, a combination of these flags.
enum Style { Regular = 0, Bold = 1, Italic = 2, kStyleCount = 4 };

struct Cell {
    QString text;
    QColor color = kBlack;
    int style = Regular;
};
using Row = std::array<Cell, kColumnCount>;

// Stored text may hold line breaks and tabs: a break is kept, a tab is a blank.
QString printable(QString text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    text.replace(breaks, QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

// The cells of a line as the statement shows them: an amount of zero is left blank, and
// reversed lines and reversals are in italics, as on screen.
Row cellsOf(const ledger::StatementLine& line) {
    const int slant = line.reversal ? Italic : Regular;
    Row cells;
    for (Cell& cell : cells)
        cell.style = slant;
    cells[Jour].text = printable(line.jour);
    cells[Type].text = printable(line.type);
    cells[Cheval].text = printable(line.cheval);
    if (!line.mise.isZero())
        cells[Mise] = {regional::formatMoney(line.mise), kRed, Bold | slant};
    if (!line.gain.isZero())
        cells[Gain] = {regional::formatMoney(line.gain), line.credit ? kBlack : kGreen,
                       Bold | slant};
    cells[Solde].style = Bold | slant;
    if (line.solde)
        cells[Solde].text = regional::formatMoney(*line.solde);
    cells[Remarque].text = printable(line.remarque);
    return cells;
}

struct SummaryEntry {
    QString label;
    QString value;
    QColor color = kBlack;
};

// The summary panel of the ledger window, in its words; the balances only when known.
QVector<SummaryEntry> summaryOf(const ledger::MonthStatement& s) {
    QVector<SummaryEntry> entries = {
        {QStringLiteral("Nombre total de jeux"), QString::number(s.nombreJeux)},
        {QStringLiteral("Total des mises"), regional::formatMoney(s.totalMises)},
        {QStringLiteral("Total des gains"), regional::formatMoney(s.totalGains)},
        {QStringLiteral("Plus grosse mise"), regional::formatMoney(s.plusGrosseMise)},
        {QStringLiteral("Plus gros gain"), regional::formatMoney(s.plusGrosGain)},
    };
    if (s.soldeDepart)
        entries.push_back({QStringLiteral("Solde Départ"), regional::formatMoney(*s.soldeDepart)});
    if (s.totalDepots)
        entries.push_back({QStringLiteral("Total depots"), regional::formatMoney(*s.totalDepots)});
    if (s.soldeEnCours) {
        // Coloured by its sign, as the current balance box is.
        const long long c = s.soldeEnCours->cents();
        entries.push_back({QStringLiteral("Solde en cours"), regional::formatMoney(*s.soldeEnCours),
                           c < 0   ? kRed
                           : c > 0 ? kGreen
                                   : kBlack});
    }
    return entries;
}

// A text laid out in lines no wider than width: broken at blanks, or inside a word too long
// for a line of its own. Without wrap it stays on one line, as an amount does.
class Paragraph {
public:
    Paragraph(const QString& text, const QFont& font, double width,
              Qt::Alignment alignment = Qt::AlignLeft, bool wrap = true)
        : m_layout(text, font) {
        QTextOption option(alignment);
        option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
        // Widths as the font draws them, not as some screen's pixels would round them.
        option.setUseDesignMetrics(true);
        m_layout.setTextOption(option);
        m_layout.beginLayout();
        for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
            // A hair over the width: a text measured exactly that wide stays on one line.
            line.setLineWidth(width + 1);
            line.setPosition(QPointF(0, m_height));
            m_height += line.height();
            m_width = std::max(m_width, line.naturalTextWidth());
        }
        m_layout.endLayout();
    }
    double height() const { return m_height; }
    double naturalWidth() const { return m_width; }
    void draw(QPainter& painter, const QPointF& at) const { m_layout.draw(&painter, at); }

private:
    QTextLayout m_layout;
    double m_height = 0;
    double m_width = 0;
};

// Widths of texts on one line, remembered: a month repeats its days, types and horses.
class Measures {
public:
    explicit Measures(const std::array<QFont, kStyleCount>& fonts) : m_fonts(fonts) {
        for (int style = 0; style < kStyleCount; ++style)
            m_lineHeight[style] = Paragraph(QStringLiteral("Xg"), fonts[style], 1e6).height();
    }
    const QFont& font(int style) const { return m_fonts[style]; }
    double lineHeight(int style) const { return m_lineHeight[style]; }
    double width(const QString& text, int style) {
        auto& known = m_widths[style];
        auto it = known.constFind(text);
        if (it == known.constEnd())
            it = known.insert(
                text, Paragraph(text, m_fonts[style], 1e6, Qt::AlignLeft, false).naturalWidth());
        return *it;
    }
    double longestWord(const QString& text, int style) {
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        double longest = 0;
        for (const QString& word : text.split(blanks, Qt::SkipEmptyParts))
            longest = std::max(longest, width(word, style));
        return longest;
    }

private:
    std::array<QFont, kStyleCount> m_fonts;
    std::array<double, kStyleCount> m_lineHeight{};
    std::array<QHash<QString, double>, kStyleCount> m_widths;
};

std::array<QFont, kStyleCount> bodyFonts() {
    std::array<QFont, kStyleCount> fonts;
    for (int style = 0; style < kStyleCount; ++style) {
        QFont font = QGuiApplication::font();
        font.setPixelSize(kBodySize);
        font.setBold(style & Bold);
        font.setItalic(style & Italic);
        fonts[style] = font;
    }
    return fonts;
}

class StatementPages {
public:
    explicit StatementPages(const ledger::MonthStatement& statement)
        : m_measures(bodyFonts()), m_summary(summaryOf(statement)) {
        m_title = QStringLiteral("Relevé de %1 — %2").arg(statement.player, statement.month);
        m_titleFont = QGuiApplication::font();
        m_titleFont.setPixelSize(kTitleSize);
        m_titleFont.setBold(true);
        m_line = m_measures.lineHeight(Regular);
        m_padX = m_line * 0.3;
        m_padY = m_line * 0.2;
        m_rows.reserve(statement.lines.size());
        for (const ledger::StatementLine& line : statement.lines)
            m_rows.push_back(cellsOf(line));
        measureColumns();
    }

    bool paint(QPagedPaintDevice& device) {
        // Words whole on the page as it is set, else on a landscape page; a word is broken
        // only when even that is too narrow.
        QPageLayout page = device.pageLayout();
        std::optional<Widths> widths = columnsFor(pageWidth(page), false);
        if (!widths && page.orientation() == QPageLayout::Portrait) {
            page.setOrientation(QPageLayout::Landscape);
            device.setPageOrientation(QPageLayout::Landscape);
            widths = columnsFor(pageWidth(page), false);
        }
        if (!widths)
            widths = columnsFor(pageWidth(page), true);
        // Amounts too wide even for that still print whole.
        if (!widths)
            widths = squeezed(pageWidth(page));
        m_widths = *widths;
        m_pageWidth = pageWidth(page);
        m_pageHeight = page.paintRect(QPageLayout::Point).height() * kUnitsPerPoint;
        paginate();

        QPainter painter;
        if (!painter.begin(&device))
            return false;
        painter.scale(device.logicalDpiX() / kUnitsPerInch, device.logicalDpiY() / kUnitsPerInch);
        const int pages = pageCount();
        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                device.newPage();
            drawPage(painter, page, pages);
        }
        return painter.end();
    }

private:
    static double pageWidth(const QPageLayout& page) {
        return page.paintRect(QPageLayout::Point).width() * kUnitsPerPoint;
    }

    // What each column needs: its title, its longest text on one line and, for a text, its
    // longest word.
    void measureColumns() {
        for (int c = 0; c < kColumnCount; ++c) {
            const QString title = QString::fromUtf8(kColumns[c].title);
            const double titleWidth = m_measures.width(title, Bold);
            m_natural[c] = titleWidth;
            m_word[c] = 0;
            for (const Row& row : m_rows) {
                const Cell& cell = row[c];
                if (cell.text.isEmpty())
                    continue;
                m_natural[c] = std::max(m_natural[c], m_measures.width(cell.text, cell.style));
                if (!kColumns[c].amount)
                    m_word[c] = std::max(m_word[c], m_measures.longestWord(cell.text, cell.style));
            }
            m_titleWidth[c] = titleWidth;
        }
    }

    // The columns' widths across a page that wide, the room left shared by the texts that
    // want it; nothing when the columns cannot fit. A long word may be broken or not.
    std::optional<Widths> columnsFor(double pageWidth, bool breakLongWords) const {
        const double room = pageWidth - kColumnCount * 2 * m_padX;
        const double longWord = breakLongWords ? room / 6 : room;
        Widths minimum{};
        Widths wanted{};
        for (int c = 0; c < kColumnCount; ++c) {
            minimum[c] = kColumns[c].amount
                             ? m_natural[c]
                             : std::max(m_titleWidth[c], std::min(m_word[c], longWord));
            wanted[c] = std::max(0.0, m_natural[c] - minimum[c]);
        }
        const double needed = std::accumulate(minimum.begin(), minimum.end(), 0.0);
        if (needed > room)
            return std::nullopt;
        double spare = room - needed;
        const double wantedTotal = std::accumulate(wanted.begin(), wanted.end(), 0.0);
        Widths widths = minimum;
        if (wantedTotal > spare) {
            // Shared evenly, a column wanting less than its share taking just what it wants:
            // as many texts as can stay on one line do.
            std::array<int, kColumnCount> order;
            std::iota(order.begin(), order.end(), 0);
            std::sort(order.begin(), order.end(),
                      [&wanted](int a, int b) { return wanted[a] < wanted[b]; });
            int left = 0;
            for (int c : order)
                left += wanted[c] > 0 ? 1 : 0;
            for (int c : order) {
                if (wanted[c] <= 0)
                    continue;
                const double share = std::min(wanted[c], spare / left--);
                widths[c] += share;
                spare -= share;
            }
            return widths;
        }
        double weights = 0;
        for (const ColumnSpec& column : kColumns)
            weights += column.weight;
        for (int c = 0; c < kColumnCount; ++c)
            widths[c] += wanted[c] + (spare - wantedTotal) * kColumns[c].weight / weights;
        return widths;
    }

    // Amounts too wide even for a landscape page: they keep their width, the texts share
    // what is left.
    Widths squeezed(double pageWidth) const {
        Widths widths = m_natural;
        double left = pageWidth - kColumnCount * 2 * m_padX;
        double titles = 0;
        for (int c = 0; c < kColumnCount; ++c) {
            if (kColumns[c].amount)
                left -= m_natural[c];
            else
                titles += m_titleWidth[c];
        }
        left = std::max(left, m_line * kColumnCount);
        for (int c = 0; c < kColumnCount; ++c)
            if (!kColumns[c].amount)
                widths[c] = left * m_titleWidth[c] / titles;
        return widths;
    }

    double cellHeight(const Cell& cell, int column) {
        if (cell.text.isEmpty() || kColumns[column].amount ||
            m_measures.width(cell.text, cell.style) <= m_widths[column])
            return m_measures.lineHeight(cell.style);
        return Paragraph(cell.text, m_measures.font(cell.style), m_widths[column]).height();
    }

    double rowHeight(const Row& row) {
        double height = 0;
        for (int c = 0; c < kColumnCount; ++c)
            height = std::max(height, cellHeight(row[c], c));
        return height + 2 * m_padY;
    }

    // The lines of each page: as many as fit between the header and the foot, a line never
    // split. The summary follows the last line, or has a page of its own.
    void paginate() {
        m_titleHeight = Paragraph(m_title, m_titleFont, m_pageWidth).height() + m_line * 0.6;
        m_headerHeight = 0;
        for (int c = 0; c < kColumnCount; ++c)
            m_headerHeight =
                std::max(m_headerHeight, Paragraph(QString::fromUtf8(kColumns[c].title),
                                                   m_measures.font(Bold), m_widths[c])
                                             .height());
        m_headerHeight += 2 * m_padY;
        const double top = m_titleHeight + m_headerHeight;
        const double bottom = m_pageHeight - m_line * 2;

        m_rowHeights.clear();
        m_firstRows = {0};
        double y = top;
        for (int i = 0; i < m_rows.size(); ++i) {
            const double height = rowHeight(m_rows[i]);
            m_rowHeights.push_back(height);
            if (i > m_firstRows.last() && y + height > bottom) {
                m_firstRows.push_back(i);
                y = top;
            }
            y += height;
        }
        layOutSummary();
        m_summaryApart = y + m_summaryHeight > bottom;
    }

    int pageCount() const { return int(m_firstRows.size()) + (m_summaryApart ? 1 : 0); }

    // Labels in line with the first column, values in a column of their own as wide as the
    // widest; a label wraps only when the page is too narrow for both.
    void layOutSummary() {
        m_labelWidth = 0;
        m_valueWidth = 0;
        for (const SummaryEntry& entry : m_summary) {
            m_labelWidth = std::max(m_labelWidth, m_measures.width(entry.label, Regular));
            m_valueWidth = std::max(m_valueWidth, m_measures.width(entry.value, Bold));
        }
        const double gap = m_line * 2;
        m_labelWidth =
            std::max(m_line, std::min(m_labelWidth, m_pageWidth - 2 * m_padX - gap - m_valueWidth));
        m_summaryHeight = m_line;
        m_summaryRows.clear();
        for (const SummaryEntry& entry : m_summary) {
            const double height =
                Paragraph(entry.label, m_measures.font(Regular), m_labelWidth).height();
            m_summaryRows.push_back(height);
            m_summaryHeight += height;
        }
    }

    void drawPage(QPainter& painter, int page, int pages) {
        painter.setPen(kBlack);
        Paragraph(m_title, m_titleFont, m_pageWidth).draw(painter, QPointF(0, 0));
        double y = m_titleHeight;
        drawHeader(painter, y);
        y += m_headerHeight;
        if (page < m_firstRows.size()) {
            const int end =
                page + 1 < m_firstRows.size() ? m_firstRows.at(page + 1) : int(m_rows.size());
            for (int i = m_firstRows.at(page); i < end; ++i) {
                drawRow(painter, m_rows.at(i), y, m_rowHeights.at(i));
                y += m_rowHeights.at(i);
            }
        }
        if (page == pages - 1)
            drawSummary(painter, y);
        painter.setPen(kBlack);
        Paragraph(QStringLiteral("Page %1 / %2").arg(page + 1).arg(pages), m_measures.font(Regular),
                  m_pageWidth, Qt::AlignHCenter)
            .draw(painter, QPointF(0, m_pageHeight - m_line * 1.2));
    }

    double columnLeft(int column) const {
        double x = 0;
        for (int c = 0; c < column; ++c)
            x += m_widths[c] + 2 * m_padX;
        return x + m_padX;
    }

    void drawHeader(QPainter& painter, double y) {
        painter.setPen(kBlack);
        for (int c = 0; c < kColumnCount; ++c)
            Paragraph(QString::fromUtf8(kColumns[c].title), m_measures.font(Bold), m_widths[c],
                      kColumns[c].alignment)
                .draw(painter, QPointF(columnLeft(c), y + m_padY));
        painter.setPen(QPen(kBlack, kUnitsPerPoint * 0.6));
        painter.drawLine(QPointF(0, y + m_headerHeight), QPointF(m_pageWidth, y + m_headerHeight));
    }

    void drawRow(QPainter& painter, const Row& row, double y, double height) {
        for (int c = 0; c < kColumnCount; ++c) {
            const Cell& cell = row[c];
            if (cell.text.isEmpty())
                continue;
            painter.setPen(cell.color);
            Paragraph(cell.text, m_measures.font(cell.style), m_widths[c], kColumns[c].alignment,
                      !kColumns[c].amount)
                .draw(painter, QPointF(columnLeft(c), y + m_padY));
        }
        // A hairline between lines: a line of several text lines reads as one.
        painter.setPen(QPen(QColor(200, 200, 200), kUnitsPerPoint * 0.3));
        painter.drawLine(QPointF(0, y + height), QPointF(m_pageWidth, y + height));
    }

    void drawSummary(QPainter& painter, double y) {
        y += m_line * 0.5;
        painter.setPen(QPen(kBlack, kUnitsPerPoint * 0.6));
        painter.drawLine(QPointF(0, y), QPointF(m_pageWidth, y));
        y += m_line * 0.5;
        const double valueLeft = m_padX + m_labelWidth + m_line * 2;
        for (int i = 0; i < m_summary.size(); ++i) {
            const SummaryEntry& entry = m_summary.at(i);
            painter.setPen(kBlack);
            Paragraph(entry.label, m_measures.font(Regular), m_labelWidth)
                .draw(painter, QPointF(m_padX, y));
            painter.setPen(entry.color);
            Paragraph(entry.value, m_measures.font(Bold), m_valueWidth, Qt::AlignRight, false)
                .draw(painter, QPointF(valueLeft, y));
            y += m_summaryRows.at(i);
        }
    }

    Measures m_measures;
    QVector<SummaryEntry> m_summary;
    QVector<Row> m_rows;
    QString m_title;
    QFont m_titleFont;
    double m_line = 0;
    double m_padX = 0;
    double m_padY = 0;
    Widths m_natural{};
    Widths m_word{};
    Widths m_titleWidth{};
    Widths m_widths{};
    double m_pageWidth = 0;
    double m_pageHeight = 0;
    double m_titleHeight = 0;
    double m_headerHeight = 0;
    QVector<double> m_rowHeights;
    QVector<int> m_firstRows;
    double m_labelWidth = 0;
    double m_valueWidth = 0;
    double m_summaryHeight = 0;
    QVector<double> m_summaryRows;
    bool m_summaryApart = false;
};

} // namespace

bool paintStatement(const ledger::MonthStatement& statement, QPagedPaintDevice& device) {
    return StatementPages(statement).paint(device);
}

} // namespace exports
