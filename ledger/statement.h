#pragma once

#include "data/money.h"

#include <QString>
#include <QVector>
#include <optional>

// One month of one player's ledger as the statement shows it, free of any window: the main
// window lists it, and the exports write it out.
namespace ledger {

struct StatementLine {
    qint64 num = 0;             // JEUX.Num
    QString jour;               // "01" to "31", as stored
    QString type;               // the game type
    QString cheval;             // as shown: upper case, empty for a bet or credit without a horse
    Money mise;                 // Debit
    Money gain;                 // Credit: a win, or the sum of a credit row
    std::optional<Money> solde; // SoldeApres
    bool credit = false;        // an "Approvisionnement compte" row
    // A reversed line, or the reversal of one: shown in italics, left out of the records.
    bool reversal = false;
    QString remarque; // "annule n° N", "annulée par n° M", or empty
    QString etat;     // a bet's state ("en cours", "gagné"…), empty for any other line
};

struct MonthStatement {
    QString player;
    QString month;
    QVector<StatementLine> lines; // in the statement's order
    long long nombreJeux = 0;     // game rows (credits, reversed lines and reversals are not)
    Money totalMises;
    Money totalGains;
    Money totalCredits;
    Money plusGrosseMise;
    Money plusGrosGain;
    // The summary boxes, from the player's row for the month, and empty without one: the
    // month's starting balance, "Total depots" and the current balance.
    std::optional<Money> soldeDepart;
    std::optional<Money> totalDepots;
    std::optional<Money> soldeEnCours;
};

// The Remarque of a reversal and of the line it reverses; both name the other's Num.
QString reversalRemark(qint64 reversedNum);   // "annule n° N"
QString reversedByRemark(qint64 reversalNum); // "annulée par n° M"
// Whether a stored Remarque marks a reversal, a reversed line, or either.
bool isReversalRow(const QString& remarque);
bool isReversedLine(const QString& remarque);
bool isReversalRemark(const QString& remarque);

} // namespace ledger
