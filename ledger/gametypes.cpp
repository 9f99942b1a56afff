#include "ledger/gametypes.h"

#include "data/regional.h"
#include "data/schema.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "ledger/betbook.h"
#include "ledger/ledgerbook.h"
#include "racing/vocabulary.h"

#include <QCollator>
#include <QSqlQuery>
#include <algorithm>

namespace ledger {
namespace {

QString cleaned(const QString& type) {
    return regional::simplifiedName(type);
}

void refuseCredit(const QString& type) {
    if (racing::sameName(type, creditType()))
        throw GameTypeRefused(QStringLiteral("« %1 » est le type des crédits du compte : il ne se "
                                             "renomme pas et ne se supprime pas.")
                                  .arg(creditType()));
}

// The type of the file spelt as `type` is, if any.
std::optional<GameTypeRow> found(const data::Database& db, const QString& type) {
    const QVector<GameTypeRow> rows = gameTypeRows(db);
    for (const GameTypeRow& row : rows)
        if (row.type == type)
            return row;
    for (const GameTypeRow& row : rows)
        if (racing::sameName(row.type, type))
            return row;
    return std::nullopt;
}

void ensureRulesTable(const data::Database& db) {
    if (!data::schema::hasRulesTable(db))
        data::schema::createRulesTable(db);
}

// Every spelling of the type that the vocabulary takes for it, as stored.
int moveLines(const data::Database& db, const QString& from, const QString& to) {
    int moved = 0;
    QStringList spellings;
    data::Statement rs(db.raw(), QStringLiteral("SELECT DISTINCT [type jeux] COLLATE BINARY FROM JEUX"),
                       {});
    while (rs.next())
        if (!rs.isNull(0) && racing::sameName(rs.string(0), from) && !isCreditType(rs.string(0)))
            spellings << rs.string(0);
    for (const QString& spelling : spellings) {
        QSqlQuery update = db.exec(QStringLiteral("UPDATE JEUX SET [type jeux] = ? WHERE "
                                                  "[type jeux] = ? COLLATE BINARY"),
                                   {to, spelling});
        moved += update.numRowsAffected();
    }
    return moved;
}

void forget(const data::Database& db, const QString& type) {
    QSqlQuery offered = db.exec(QStringLiteral("SELECT Id, TypeJeu FROM TYPEJEUX"));
    QVariantList ids;
    while (offered.next())
        if (racing::sameName(offered.value(1).toString(), type))
            ids << offered.value(0);
    for (const QVariant& id : ids)
        db.exec(QStringLiteral("DELETE FROM TYPEJEUX WHERE Id = ?"), {id});
    if (!data::schema::hasRulesTable(db))
        return;
    QSqlQuery rules = db.exec(QStringLiteral("SELECT Type FROM REGLESJEUX"));
    QStringList types;
    while (rules.next())
        if (racing::sameName(rules.value(0).toString(), type))
            types << rules.value(0).toString();
    for (const QString& stored : types)
        db.exec(QStringLiteral("DELETE FROM REGLESJEUX WHERE Type = ?"), {stored});
}

} // namespace

QVector<GameTypeRow> gameTypeRows(const data::Database& db) {
    const GameRules rules(db);
    QVector<GameTypeRow> rows;
    const auto add = [&](const QString& type, int lines, bool offered) {
        if (type.isEmpty() || isCreditType(type))
            return;
        for (GameTypeRow& row : rows)
            if (racing::sameName(row.type, type) && row.type == type) {
                row.lines += lines;
                row.offered = row.offered || offered;
                return;
            }
        rows << GameTypeRow{type, lines, rules.of(type), offered};
    };
    for (const QString& type : gameTypes(db))
        add(cleaned(type), 0, true);
    data::Statement rs(db.raw(),
                       QStringLiteral("SELECT [type jeux] COLLATE BINARY, count(*) FROM JEUX "
                                      "GROUP BY [type jeux] COLLATE BINARY"),
                       {});
    while (rs.next())
        if (!rs.isNull(0))
            add(rs.string(0), int(rs.integer(1)), false);
    const QCollator collator = regional::frenchCollator();
    std::sort(rows.begin(), rows.end(), [&](const GameTypeRow& a, const GameTypeRow& b) {
        return collator.compare(a.type, b.type) < 0;
    });
    return rows;
}

void addGameType(const data::Database& db, const QString& typed, Rule rule) {
    const QString type = cleaned(typed);
    if (type.isEmpty())
        throw GameTypeRefused(QStringLiteral("Saisissez le nom du type de jeu."));
    refuseCredit(type);
    data::Transaction transaction(db);
    if (const auto existing = found(db, type))
        throw GameTypeRefused(QStringLiteral("Le type « %1 » existe déjà (« %2 »).")
                                  .arg(type, existing->type));
    db.exec(QStringLiteral("INSERT INTO TYPEJEUX (TypeJeu) VALUES (?)"), {type});
    ensureRulesTable(db);
    db.exec(QStringLiteral("INSERT OR REPLACE INTO REGLESJEUX (Type, Regle) VALUES (?, ?)"),
            {type, ruleName(rule)});
    transaction.commit();
}

void setGameRule(const data::Database& db, const QString& type, Rule rule) {
    refuseCredit(type);
    data::Transaction transaction(db);
    ensureRulesTable(db);
    // One rule for the type however it is spelt.
    QSqlQuery rules = db.exec(QStringLiteral("SELECT Type FROM REGLESJEUX"));
    QStringList spellings;
    while (rules.next())
        if (racing::sameName(rules.value(0).toString(), type))
            spellings << rules.value(0).toString();
    for (const QString& stored : spellings)
        db.exec(QStringLiteral("DELETE FROM REGLESJEUX WHERE Type = ?"), {stored});
    db.exec(QStringLiteral("INSERT INTO REGLESJEUX (Type, Regle) VALUES (?, ?)"),
            {type, ruleName(rule)});
    transaction.commit();
}

int renameGameType(const data::Database& db, const QString& from, const QString& typed) {
    const QString to = cleaned(typed);
    refuseCredit(from);
    refuseCredit(to);
    if (to.isEmpty())
        throw GameTypeRefused(QStringLiteral("Saisissez le nouveau nom du type de jeu."));
    data::Transaction transaction(db);
    const auto source = found(db, from);
    if (!source)
        throw GameTypeRefused(QStringLiteral("Le type « %1 » n'existe plus.").arg(from));
    if (const auto other = found(db, to); other && !racing::sameName(to, from))
        throw GameTypeRefused(QStringLiteral("Le type « %1 » existe déjà : fusionnez plutôt "
                                             "« %2 » dans « %1 ».")
                                  .arg(other->type, from));
    const Rule rule = source->rule;
    forget(db, from);
    db.exec(QStringLiteral("INSERT INTO TYPEJEUX (TypeJeu) VALUES (?)"), {to});
    ensureRulesTable(db);
    db.exec(QStringLiteral("INSERT OR REPLACE INTO REGLESJEUX (Type, Regle) VALUES (?, ?)"),
            {to, ruleName(rule)});
    const int moved = moveLines(db, from, to);
    transaction.commit();
    return moved;
}

int mergeGameType(const data::Database& db, const QString& from, const QString& into) {
    refuseCredit(from);
    refuseCredit(into);
    data::Transaction transaction(db);
    const auto target = found(db, into);
    if (!target)
        throw GameTypeRefused(QStringLiteral("Le type « %1 » n'existe pas.").arg(into));
    if (from == target->type)
        throw GameTypeRefused(QStringLiteral("Choisissez un autre type que « %1 ».").arg(from));
    // The lines spelt exactly as the merged type; the target's own spellings stay.
    QSqlQuery update = db.exec(QStringLiteral("UPDATE JEUX SET [type jeux] = ? WHERE "
                                              "[type jeux] = ? COLLATE BINARY"),
                               {target->type, from});
    const int moved = update.numRowsAffected();
    if (!racing::sameName(from, target->type))
        forget(db, from);
    else
        db.exec(QStringLiteral("DELETE FROM TYPEJEUX WHERE TypeJeu = ? COLLATE BINARY"), {from});
    transaction.commit();
    return moved;
}

void deleteGameType(const data::Database& db, const QString& type) {
    refuseCredit(type);
    data::Transaction transaction(db);
    const auto row = found(db, type);
    if (row && row->lines > 0)
        throw GameTypeRefused(
            QStringLiteral("« %1 » est utilisé par %2 de l'année : fusionnez-le dans un autre type "
                           "plutôt.")
                .arg(row->type,
                     regional::counted(row->lines, QStringLiteral("ligne"), QStringLiteral("lignes"))));
    forget(db, type);
    transaction.commit();
}

} // namespace ledger
