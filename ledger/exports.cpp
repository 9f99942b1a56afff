#include "ledger/exports.h"

#include "data/database.h"
#include "data/errors.h"
#include "data/regional.h"
#include "data/statement.h"
#include "gui/dialogs.h"
#include "ledger/ledgerbook.h"
#include "ledger/statementpages.h"

#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

namespace exports {

QString csvAmount(Money amount) {
    const long long value = amount.cents();
    const long long whole = std::llabs(value);
    return QStringLiteral("%1%2,%3")
        .arg(value < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 100)
        .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

namespace {

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

// The cells of a statement line in the spreadsheet: every amount, zero too, as a number.
QStringList csvCells(const ledger::StatementLine& l) {
    return {l.jour,
            l.type,
            l.cheval,
            csvAmount(l.mise),
            csvAmount(l.gain),
            l.solde ? csvAmount(*l.solde) : QString(),
            l.remarque};
}

void appendCsvLine(QByteArray& bytes, const QStringList& fields) {
    QStringList written;
    written.reserve(fields.size());
    for (const QString& field : fields)
        written << csvField(field);
    bytes += written.join(QLatin1Char(';')).toUtf8() + "\r\n";
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = writeFailure(path, file.errorString());
        return false;
    }
    return true;
}

// ---- The year's rows ---------------------------------------------------------------------

struct YearRow {
    int monthOrder = 0;
    QString player;
    QString month;
    ledger::StatementLine line;
};

// Every row of JEUX, read by number, then put in calendar order of its month: the same
// line the month's statement makes of it, with its player and month.
QVector<YearRow> yearRows(const data::Database& db) {
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT User, mois, Num, Jour, Remarque, [type jeux], "
                                      "Cheval, Debit, Credit, SoldeApres FROM JEUX ORDER BY Num"),
                       {});
    QVector<YearRow> rows;
    while (rs.next()) {
        YearRow row;
        row.player = rs.isNull(0) ? QString() : rs.value(0).toString();
        row.month = rs.isNull(1) ? QString() : rs.value(1).toString();
        const int index = regional::monthIndex(row.month);
        row.monthOrder = index < 0 ? int(regional::monthNames().size()) : index;
        row.line = ledger::readStatementLine(rs, 2);
        rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const YearRow& a, const YearRow& b) {
        return a.monthOrder < b.monthOrder;
    });
    return rows;
}

// ---- Asking where ------------------------------------------------------------------------

// The folder the save dialog opens in. Without a documents folder Qt's dialog would open in
// the working folder, which is the program's own.
QString exportFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

// Where to write a file of that extension, or nothing when the user gives up. A name typed
// without its extension gets it, so that the file opens with a double click; the dialog only
// checked the name as typed, so a file already there under the whole name is replaced only
// when the user says so.
std::optional<QString> askSavePath(QWidget* parent, const QString& title,
                                   const QString& defaultName, const QString& extension) {
    const auto chosen =
        dialogs::saveFile(parent, title, QDir(exportFolder()).filePath(defaultName),
                          QStringLiteral("Fichiers %1 (*.%2)").arg(extension.toUpper(), extension));
    if (!chosen)
        return std::nullopt;
    QString path = *chosen;
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    path += QLatin1Char('.') + extension;
    if (QFileInfo::exists(path) &&
        dialogs::message(parent,
                         QStringLiteral("Le fichier %1 existe déjà. Voulez-vous le remplacer ?")
                             .arg(QFileInfo(path).fileName()),
                         title, dialogs::Buttons::YesNo,
                         dialogs::Icon::Exclamation) != dialogs::Answer::Yes)
        return std::nullopt;
    return path;
}

void reportFailure(QWidget* parent, const QString& error) {
    dialogs::message(parent, error, QStringLiteral("Erreur"), dialogs::Buttons::Ok,
                     dialogs::Icon::Critical);
}

QString statementTitle(const ledger::MonthStatement& statement) {
    return QStringLiteral("Relevé de %1 — %2").arg(statement.player, statement.month);
}

// The PDF's paper, and the paper a printer starts on.
void setUpPage(QPagedPaintDevice& device) {
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageOrientation(QPageLayout::Portrait);
    device.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

} // namespace

bool writeStatementCsv(const ledger::MonthStatement& statement, const QString& path,
                       QString* error) {
    QByteArray bytes("\xEF\xBB\xBF");
    appendCsvLine(bytes, {QStringLiteral("Jour"), QStringLiteral("Type de jeu"),
                          QStringLiteral("Cheval"), QStringLiteral("Mise"), QStringLiteral("Gain"),
                          QStringLiteral("Solde"), QStringLiteral("Remarque")});
    for (const ledger::StatementLine& l : statement.lines)
        appendCsvLine(bytes, csvCells(l));
    return writeFile(path, bytes, error);
}

bool writeYearCsv(const data::Database& db, const QString& path, QString* error) {
    QVector<YearRow> rows;
    try {
        rows = yearRows(db);
    } catch (const data::DbError& e) {
        if (error)
            *error = errors::describe(e);
        return false;
    }
    QByteArray bytes("\xEF\xBB\xBF");
    appendCsvLine(bytes,
                  {QStringLiteral("Joueur"), QStringLiteral("Mois"), QStringLiteral("Jour"),
                   QStringLiteral("Type de jeu"), QStringLiteral("Cheval"), QStringLiteral("Mise"),
                   QStringLiteral("Gain"), QStringLiteral("Solde"), QStringLiteral("Remarque")});
    for (const YearRow& row : rows)
        appendCsvLine(bytes, QStringList{row.player, row.month} + csvCells(row.line));
    return writeFile(path, bytes, error);
}

bool writeTableCsv(const QStringList& header, const QVector<QStringList>& rows, const QString& path,
                   QString* error) {
    QByteArray bytes("\xEF\xBB\xBF");
    appendCsvLine(bytes, header);
    for (const QStringList& row : rows)
        appendCsvLine(bytes, row);
    return writeFile(path, bytes, error);
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
        setUpPage(writer);
        writer.setResolution(300);
        writer.setTitle(statementTitle(statement));
        writer.setCreator(dialogs::applicationTitle());
        drawn = paintStatement(statement, writer);
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
    const auto path = askSavePath(
        parent, csv ? QStringLiteral("Exporter le relevé (CSV)") : QStringLiteral("Relevé en PDF"),
        defaultExportName(statement, extension), extension);
    if (!path)
        return;
    QString error;
    const bool written = csv ? writeStatementCsv(statement, *path, &error)
                             : writeStatementPdf(statement, *path, &error);
    if (!written)
        reportFailure(parent, error);
}

void exportYear(QWidget* parent, const data::Database& db) {
    const auto path = askSavePath(parent, QStringLiteral("Exporter l'année (CSV)"),
                                  QStringLiteral("releve-annee.csv"), QStringLiteral("csv"));
    if (!path)
        return;
    QString error;
    if (!writeYearCsv(db, *path, &error))
        reportFailure(parent, error);
}

void exportTable(QWidget* parent, const QString& title, const QString& defaultName,
                 const QStringList& header, const QVector<QStringList>& rows) {
    const auto path = askSavePath(parent, title, defaultName, QStringLiteral("csv"));
    if (!path)
        return;
    QString error;
    if (!writeTableCsv(header, rows, *path, &error))
        reportFailure(parent, error);
}

void printStatement(QWidget* parent, const ledger::MonthStatement& statement, QPrinter* printer) {
    std::unique_ptr<QPrinter> own;
    if (!printer) {
        own = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer = own.get();
    }
    setUpPage(*printer);
    printer->setDocName(statementTitle(statement));
    printer->setCreator(dialogs::applicationTitle());
    QPrintDialog dialog(printer, parent);
    dialog.setWindowTitle(QStringLiteral("Imprimer le relevé"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!paintStatement(statement, *printer))
        reportFailure(parent, QStringLiteral("Le relevé n'a pas pu être imprimé."));
}

} // namespace exports
