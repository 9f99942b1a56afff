#pragma once

#include "ledger/statement.h"

#include <QString>

class QWidget;

// The statement on display written out of the program: a spreadsheet file or a printable
// page. A file is either written whole or left as it was.
namespace exports {

enum class Format { Csv, Pdf };

// UTF-8 with a byte-order mark, ";" between fields, CR LF: the header
// "Jour;Type de jeu;Cheval;Mise;Gain;Solde;Remarque", then one line per statement line with
// amounts as "1234,50" and, for a reversed line or a reversal, the line it goes with. False, with a
// French sentence in *error, when the file cannot be written.
bool writeStatementCsv(const ledger::MonthStatement& statement, const QString& path, QString* error);

// A4 pages: the title "Relevé de <joueur> — <mois>", the statement's columns in its colours,
// the totals and balances of the summary panel, the page number at the foot of every page.
bool writeStatementPdf(const ledger::MonthStatement& statement, const QString& path, QString* error);

// "releve-<joueur>-<mois>.<extension>", with the characters no file name may hold replaced.
QString defaultExportName(const ledger::MonthStatement& statement, const QString& extension);

// Asks where to write (the documents folder and the default name proposed), writes, and
// reports a failure in a box.
void exportStatement(QWidget* parent, const ledger::MonthStatement& statement, Format format);

} // namespace exports
