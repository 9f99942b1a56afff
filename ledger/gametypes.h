#pragma once

#include "data/database.h"
#include "ledger/multibets.h"

#include <QString>
#include <QVector>
#include <stdexcept>

// The game types of the open file: those TYPEJEUX offers and those its ledger lines use,
// each with the rule that settles it (REGLESJEUX). Renaming and merging change the open
// year's lines only: a closed year's archive is never written.
namespace ledger {

struct GameTypeRow {
    QString type;
    int lines = 0; // ledger lines of the open year
    Rule rule = Rule::ByHand;
    bool offered = false; // in TYPEJEUX
};
// By French order; the credit type is not a game type and is never listed.
QVector<GameTypeRow> gameTypeRows(const data::Database& db);

// Thrown before anything is written, with the reason in French.
class GameTypeRefused : public std::runtime_error {
public:
    explicit GameTypeRefused(const QString& text)
        : std::runtime_error("game type refused"), text(text) {}
    QString text;
};

// Each in one transaction. Names compare as the racing vocabulary compares them: a type
// spelt otherwise ("Simple Place") is the same type, to be merged rather than added.
void addGameType(const data::Database& db, const QString& type, Rule rule);
void setGameRule(const data::Database& db, const QString& type, Rule rule);
// The lines that followed.
int renameGameType(const data::Database& db, const QString& from, const QString& to);
int mergeGameType(const data::Database& db, const QString& from, const QString& into);
// Refused while a line of the open year uses it.
void deleteGameType(const data::Database& db, const QString& type);

} // namespace ledger
