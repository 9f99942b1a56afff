#pragma once

#include "data/database.h"
#include "data/money.h"

#include <QString>
#include <QVector>

// The chains of balances a file can prove. Each (player, month) holds its lines in Num order:
// a line's SoldeAvant is the previous line's SoldeApres (the first line's, the month's
// opening balance: SoldeDepart less the month's credits), its SoldeApres is SoldeAvant less
// Debit plus Credit, and the last line's SoldeApres is the month's SoldeEnCours (a month
// without lines keeps its SoldeDepart). All to the cent. Players are compared as the file
// compares them (case of A to Z ignored), months as the ledger reads them (case and accents
// ignored). Free of any window: velmora-db calls these.
namespace ledger {

// One link of a chain that does not hold.
struct ChainBreak {
    enum class Link {
        Before,  // a line's SoldeAvant
        After,   // a line's SoldeApres
        Balance, // the month's SoldeEnCours
    };
    Link link = Link::Before;
    QString player;
    QString month;  // the ledger's name, or the text stored when it names no month
    qint64 num = 0; // the line, for Before and After
    Money found;
    Money expected;
};

// A month whose lines no single USERS row holds: none (lines an older version wrote without
// one), or two and more (spellings the file tells apart and the ledger does not, "Aout" and
// "Août"). Its lines are checked against each other only: no stored opening or closing
// balance says which to trust, and the ledger refuses to write to such a month.
struct UnheldMonth {
    QString player;
    QString month;
    int accounts = 0; // USERS rows for the month: 0, or 2 and more
    qint64 lines = 0;
};

// A month name the ledger cannot read, where it was found.
struct StrayMonth {
    QString name;   // as stored
    QString column; // "JEUX.mois" or "USERS.Mois"
    QString player;
    qint64 rows = 0;
};

struct ChainCheck {
    QVector<ChainBreak> breaks; // by player, month, then Num
    QVector<UnheldMonth> unheld;
    QVector<StrayMonth> strays;
};

// Reads JEUX and USERS in one snapshot. Throws data::DbError.
ChainCheck checkChains(const data::Database& db);
// The month names of JEUX and USERS that name no ledger month. Throws data::DbError.
QVector<StrayMonth> strayMonths(const data::Database& db);

// "Paul, Novembre : ligne n° 57, solde avant 85,00 € au lieu de 95,00 €"
QString breakText(const ChainBreak& chainBreak);
// "1 rupture de solde", "3 ruptures de solde"
QString breakCount(qint64 breaks);
// "Paul, Mars : aucune ligne USERS pour ce mois ; ses 3 lignes vérifiées entre elles seulement"
QString unheldText(const UnheldMonth& month);
// "Paul : mois « Agosto » inconnu dans JEUX.mois (3 lignes)"
QString strayText(const StrayMonth& stray);

// A month whose chain was rewritten.
struct RepairedMonth {
    QString player;
    QString month;
    qint64 linesChanged = 0; // lines whose SoldeAvant or SoldeApres changed
    Money was;               // SoldeEnCours before
    Money balance;           // SoldeEnCours now: the last line's SoldeApres
};

// Rewrites every broken month held by a single USERS row from its opening balance and its
// lines in Num order: each SoldeAvant and SoldeApres, and SoldeEnCours. Never a Debit, a
// Credit, SoldeDepart or another month. One transaction. Throws data::DbError.
QVector<RepairedMonth> repairChains(const data::Database& db);
// "Paul, Novembre : 2 lignes réécrites, solde en cours 75,00 € (il était de 85,00 €)"
QString repairedText(const RepairedMonth& month);

} // namespace ledger
