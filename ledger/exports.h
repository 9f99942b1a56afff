#pragma once

#include "ledger/statement.h"

#include <QString>
#include <QStringList>
#include <QVector>

class QPrinter;
class QWidget;

namespace data {
class Database;
}

// The statement on display written out of the program: a spreadsheet file or a printable
// page. A file is either written whole or left as it was.
namespace exports {

enum class Format { Csv, Pdf };

// UTF-8 with a byte-order mark, ";" between fields, CR LF: the header
// "Jour;Type de jeu;Cheval;Mise;Gain;Solde;Remarque", then one line per statement line with
// amounts as "1234,50" and, for a reversed line or a reversal, the line it goes with. False, with a
// French sentence in *error, when the file cannot be written.
bool writeStatementCsv(const ledger::MonthStatement& statement, const QString& path,
                       QString* error);

// A4 pages, turned to landscape when the columns need it, as paintStatement (statementpages.h)
// lays them out: on every page the title "Relevé de <joueur> — <mois>", the column header and
// "Page n / N"; the statement's columns in its colours, then the totals and balances of the
// summary panel.
bool writeStatementPdf(const ledger::MonthStatement& statement, const QString& path,
                       QString* error);

// Every ledger row of the file, all players and months: the header
// "Joueur;Mois;Jour;Type de jeu;Cheval;Mise;Gain;Solde;Remarque", then the rows in calendar
// order of their month (a month the calendar does not know comes last), then by number; the
// cells and bytes as writeStatementCsv writes them, Solde being the balance after the row.
// False, with a French sentence in *error, when the ledger cannot be read or the file written.
bool writeYearCsv(const data::Database& db, const QString& path, QString* error);

// "1234,50", "-15,00", "0,00": what a French spreadsheet reads as a number.
QString csvAmount(Money amount);

// Any table with the statement's bytes: a header, then rows of cells already written
// (amounts by csvAmount).
bool writeTableCsv(const QStringList& header, const QVector<QStringList>& rows, const QString& path,
                   QString* error);

// "releve-<joueur>-<mois>.<extension>", with the characters no file name may hold replaced.
QString defaultExportName(const ledger::MonthStatement& statement, const QString& extension);

// Asks where to write (the documents folder, or the home folder without one, and the default
// name proposed), asks before replacing a file the dialog did not see, writes, and reports a
// failure in a box.
void exportStatement(QWidget* parent, const ledger::MonthStatement& statement, Format format);

// The same for writeYearCsv: "Exporter l'année (CSV)", "releve-annee.csv" proposed.
void exportYear(QWidget* parent, const data::Database& db);

// The same for writeTableCsv, under `title`, `defaultName` proposed.
void exportTable(QWidget* parent, const QString& title, const QString& defaultName,
                 const QStringList& header, const QVector<QStringList>& rows);

// Prints the statement's pages, as the PDF has them, on the printer chosen in the print
// dialog. The printer starts on A4 with the PDF's margins; printer is for a caller that sets
// it up itself (a file for tests), a new one for the system's printers otherwise.
void printStatement(QWidget* parent, const ledger::MonthStatement& statement,
                    QPrinter* printer = nullptr);

} // namespace exports
