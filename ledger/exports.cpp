#include "ledger/exports.h"

#include "data/regional.h"
#include "gui/colours.h"
#include "gui/dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace exports {
namespace {

// The statement's colours: stakes in red, wins in green, credits in black.
using colours::kBlack;
using colours::kGreen;
using colours::kRed;

// "1234,50", "-15,00", "0,00": what a French spreadsheet reads as a number.
QString csvAmount(Money amount) {
    const long long value = amount.cents();
    const long long whole = std::llabs(value);
    return QStringLiteral("%1%2,%3")
        .arg(value < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 100)
        .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

QString csvField(const QString& text) {
    static const QRegularExpression special(QStringLiteral("[;\"\r\n]"));
    if (!text.contains(special))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString writeFailure(const QString& path, const QString& reason) {
    return QStringLiteral("Le fichier %1 n'a pas pu être écrit : %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

// ---- PDF --------------------------------------------------------------------------------

struct PdfColumn {
    const char* title;
    double share; // of the page's width
    Qt::Alignment alignment;
};
const PdfColumn kPdfColumns[] = {
    {"Jour", 0.05, Qt::AlignLeft},     {"Type de jeu", 0.20, Qt::AlignHCenter},
    {"Cheval", 0.17, Qt::AlignLeft},   {"Mise", 0.13, Qt::AlignRight},
    {"Gain", 0.13, Qt::AlignRight},    {"Solde", 0.13, Qt::AlignRight},
    {"Remarque", 0.19, Qt::AlignLeft},
};
constexpr int kPdfColumnCount = static_cast<int>(std::size(kPdfColumns));

struct Cell {
    QString text;
    QColor color = kBlack;
    bool bold = false;
};

// The cells of a line as the statement shows them: an amount of zero is left blank.
QVector<Cell> cellsOf(const ledger::StatementLine& line) {
    QVector<Cell> cells(kPdfColumnCount);
    cells[0].text = line.jour;
    cells[1].text = line.type;
    cells[2].text = line.cheval;
    if (!line.mise.isZero())
        cells[3] = {regional::formatMoney(line.mise), kRed, true};
    if (!line.gain.isZero())
        cells[4] = {regional::formatMoney(line.gain), line.credit ? kBlack : kGreen, true};
    cells[5].bold = true;
    if (line.solde)
        cells[5].text = regional::formatMoney(*line.solde);
    cells[6].text = line.remarque;
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

class PdfStatement {
public:
    PdfStatement(const ledger::MonthStatement& statement, QPdfWriter& writer)
        : m_statement(statement), m_writer(writer), m_painter(&writer) {}

    bool write() {
        if (!m_painter.isActive())
            return false;
        m_base = m_painter.font();
        m_base.setPointSizeF(9);
        const QRectF area(QPointF(0, 0), QSizeF(m_writer.width(), m_writer.height()));
        m_width = area.width();
        m_row = QFontMetricsF(m_base, &m_writer).height() * 1.4;
        m_titleHeight = m_row * 3;
        const double footer = m_row * 1.5;
        const double bottom = area.height() - footer;
        const QVector<SummaryEntry> summary = summaryOf(m_statement);
        const double summaryHeight = m_row * (summary.size() + 2);

        // Lines per page first: every page names the page count.
        QVector<int> firstLine{0};
        double y = m_titleHeight + m_row;
        for (int i = 0; i < m_statement.lines.size(); ++i) {
            if (y + m_row > bottom) {
                firstLine << i;
                y = m_row;
            }
            y += m_row;
        }
        const bool summaryApart = y + summaryHeight > bottom;
        const int pages = int(firstLine.size()) + (summaryApart ? 1 : 0);

        for (int page = 0; page < pages; ++page) {
            if (page > 0)
                m_writer.newPage();
            y = 0;
            if (page == 0) {
                drawTitle();
                y = m_titleHeight;
            }
            if (page < firstLine.size()) {
                drawHeader(y);
                y += m_row;
                const int end = page + 1 < firstLine.size() ? firstLine.at(page + 1)
                                                            : int(m_statement.lines.size());
                for (int i = firstLine.at(page); i < end; ++i, y += m_row)
                    drawLine(m_statement.lines.at(i), y);
            }
            if (page == pages - 1)
                drawSummary(summary, summaryApart ? 0 : y + m_row * 0.5);
            drawFooter(page + 1, pages, area.height() - m_row);
        }
        return m_painter.end();
    }

private:
    QRectF columnRect(int column, double y) const {
        double x = 0;
        for (int c = 0; c < column; ++c)
            x += kPdfColumns[c].share * m_width;
        // A little room between columns, so that two amounts never touch.
        const double pad = m_row * 0.2;
        return QRectF(x + pad, y, kPdfColumns[column].share * m_width - 2 * pad, m_row);
    }

    void drawText(const QRectF& rect, Qt::Alignment alignment, const QString& text) {
        const QFontMetricsF metrics(m_painter.font(), &m_writer);
        m_painter.drawText(rect, alignment | Qt::AlignVCenter,
                           metrics.elidedText(text, Qt::ElideRight, rect.width()));
    }

    void drawTitle() {
        QFont title = m_base;
        title.setPointSizeF(14);
        title.setBold(true);
        m_painter.setFont(title);
        m_painter.setPen(kBlack);
        drawText(QRectF(0, 0, m_width, m_row * 2), Qt::AlignLeft,
                 QStringLiteral("Relevé de %1 — %2").arg(m_statement.player, m_statement.month));
    }

    void drawHeader(double y) {
        QFont bold = m_base;
        bold.setBold(true);
        m_painter.setFont(bold);
        m_painter.setPen(kBlack);
        for (int c = 0; c < kPdfColumnCount; ++c)
            drawText(columnRect(c, y), kPdfColumns[c].alignment,
                     QString::fromUtf8(kPdfColumns[c].title));
        m_painter.drawLine(QPointF(0, y + m_row), QPointF(m_width, y + m_row));
    }

    void drawLine(const ledger::StatementLine& line, double y) {
        const QVector<Cell> cells = cellsOf(line);
        for (int c = 0; c < kPdfColumnCount; ++c) {
            QFont font = m_base;
            font.setBold(cells[c].bold);
            // Reversed lines and reversals are in italics, as on screen.
            font.setItalic(line.reversal);
            m_painter.setFont(font);
            m_painter.setPen(cells[c].color);
            drawText(columnRect(c, y), kPdfColumns[c].alignment, cells[c].text);
        }
    }

    void drawSummary(const QVector<SummaryEntry>& entries, double y) {
        m_painter.setPen(kBlack);
        m_painter.drawLine(QPointF(0, y), QPointF(m_width, y));
        y += m_row * 0.5;
        QFont bold = m_base;
        bold.setBold(true);
        // The labels stand in line with the first column of the lines above.
        const double pad = columnRect(0, 0).left();
        const double labelWidth = m_width * 0.35;
        const double valueWidth = m_width * 0.2;
        for (const SummaryEntry& entry : entries) {
            m_painter.setFont(m_base);
            m_painter.setPen(kBlack);
            drawText(QRectF(pad, y, labelWidth - pad, m_row), Qt::AlignLeft, entry.label);
            m_painter.setFont(bold);
            m_painter.setPen(entry.color);
            drawText(QRectF(labelWidth, y, valueWidth, m_row), Qt::AlignRight, entry.value);
            y += m_row;
        }
    }

    void drawFooter(int page, int pages, double y) {
        m_painter.setFont(m_base);
        m_painter.setPen(kBlack);
        drawText(QRectF(0, y, m_width, m_row), Qt::AlignHCenter,
                 QStringLiteral("Page %1 / %2").arg(page).arg(pages));
    }

    const ledger::MonthStatement& m_statement;
    QPdfWriter& m_writer;
    QPainter m_painter;
    QFont m_base;
    double m_width = 0;
    double m_row = 0;
    double m_titleHeight = 0;
};

} // namespace

bool writeStatementCsv(const ledger::MonthStatement& statement, const QString& path,
                       QString* error) {
    QByteArray bytes("\xEF\xBB\xBF");
    const auto line = [&bytes](const QStringList& fields) {
        QStringList written;
        for (const QString& field : fields)
            written << csvField(field);
        bytes += written.join(QLatin1Char(';')).toUtf8() + "\r\n";
    };
    line({QStringLiteral("Jour"), QStringLiteral("Type de jeu"), QStringLiteral("Cheval"),
          QStringLiteral("Mise"), QStringLiteral("Gain"), QStringLiteral("Solde"),
          QStringLiteral("Remarque")});
    for (const ledger::StatementLine& l : statement.lines)
        line({l.jour, l.type, l.cheval, csvAmount(l.mise), csvAmount(l.gain),
              l.solde ? csvAmount(*l.solde) : QString(), l.remarque});

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = writeFailure(path, file.errorString());
        return false;
    }
    return true;
}

bool writeStatementPdf(const ledger::MonthStatement& statement, const QString& path,
                       QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = writeFailure(path, file.errorString());
        return false;
    }
    bool drawn = false;
    {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setTitle(QStringLiteral("Relevé de %1 — %2").arg(statement.player, statement.month));
        writer.setCreator(dialogs::applicationTitle());
        PdfStatement pdf(statement, writer);
        drawn = pdf.write();
    }
    if (!drawn || file.error() != QFileDevice::NoError || !file.commit()) {
        if (error)
            *error = writeFailure(path, file.error() != QFileDevice::NoError
                                            ? file.errorString()
                                            : QStringLiteral("le PDF n'a pas pu être composé"));
        file.cancelWriting();
        return false;
    }
    return true;
}

QString defaultExportName(const ledger::MonthStatement& statement, const QString& extension) {
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QStringList parts{QStringLiteral("releve")};
    for (QString part : {statement.player, statement.month}) {
        part = part.trimmed().replace(forbidden, QStringLiteral("_"));
        if (!part.isEmpty())
            parts << part;
    }
    QString suffix = extension;
    if (suffix.startsWith(QLatin1Char('.')))
        suffix.remove(0, 1);
    return parts.join(QLatin1Char('-')) + QLatin1Char('.') + suffix;
}

void exportStatement(QWidget* parent, const ledger::MonthStatement& statement, Format format) {
    const bool csv = format == Format::Csv;
    const QString extension = csv ? QStringLiteral("csv") : QStringLiteral("pdf");
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    const auto chosen = dialogs::saveFile(
        parent, csv ? QStringLiteral("Exporter le relevé (CSV)") : QStringLiteral("Relevé en PDF"),
        QDir(folder).filePath(defaultExportName(statement, extension)),
        csv ? QStringLiteral("Fichiers CSV (*.csv)") : QStringLiteral("Fichiers PDF (*.pdf)"));
    if (!chosen)
        return;
    // A name typed without its extension gets it, so that the file opens with a double click.
    QString path = *chosen;
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + extension;
    QString error;
    const bool written = csv ? writeStatementCsv(statement, path, &error)
                             : writeStatementPdf(statement, path, &error);
    if (!written)
        dialogs::message(parent, error, QStringLiteral("Erreur"), dialogs::Buttons::Ok,
                         dialogs::Icon::Critical);
}

} // namespace exports
