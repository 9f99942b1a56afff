#include "followed/followedbook.h"

#include "data/regional.h"
#include "data/statement.h"
#include "data/transaction.h"
#include "racing/resultnames.h"

#include <QCollator>
#include <QHash>
#include <QSqlQuery>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace followed {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A number as the lists show it: whole ones plainly, others with the French decimal comma.
QString numberText(double number) {
    // Whole amounts (most prizes and values) skip the general float formatting.
    if (number == std::floor(number) && std::fabs(number) < 1e15)
        return QString::number(static_cast<qlonglong>(number));
    return QString::number(number, 'g', QLocale::FloatingPointShortest)
        .replace(QLatin1Char('.'), QLatin1Char(','));
}

// A stored value given to a list as storedText() shows it, straight from the engine's text.
void addStoredCell(CellSink& cells, const data::Statement& rs, int column,
                   QStringView ifNull = {}) {
    if (rs.isNull(column))
        cells.addCell(ifNull);
    else if (rs.isReal(column))
        cells.addCell(QStringView(numberText(rs.real(column))));
    else
        cells.addCell(rs.utf8(column));
}

// Many runners share a race date: each date is converted once per list, and a plain ISO
// day is rearranged in place. The view returned is valid until the next call.
class FrenchDates {
public:
    QStringView operator()(QStringView iso) {
        if (isDay(iso))
            return rearranged(iso);
        const QString key = iso.toString();
        auto found = m_known.constFind(key);
        if (found == m_known.constEnd())
            found = m_known.insert(key, regional::frenchDateFromIso(key));
        return *found;
    }
    QStringView operator()(QByteArrayView isoUtf8) {
        const QLatin1StringView ascii(isoUtf8.data(), isoUtf8.size());
        if (isDay(ascii))
            return rearranged(ascii);
        return (*this)(QStringView(QString::fromUtf8(isoUtf8)));
    }
    // A stored value that is not null, as the lists show it.
    QStringView stored(const data::Statement& rs, int column) {
        if (rs.isReal(column))
            return (*this)(QStringView(numberText(rs.real(column))));
        return (*this)(rs.utf8(column));
    }

private:
    // "AAAA-MM-JJ" and nothing more.
    template <class Text> static bool isDay(Text iso) {
        if (iso.size() != 10)
            return false;
        for (int i = 0; i < 10; ++i) {
            const bool dash = i == 4 || i == 7;
            const QChar c(iso[i]);
            if (dash ? c != QLatin1Char('-') : (c < QLatin1Char('0') || c > QLatin1Char('9')))
                return false;
        }
        return true;
    }
    template <class Text> QStringView rearranged(Text iso) {
        const int order[10] = {8, 9, -1, 5, 6, -1, 0, 1, 2, 3};
        for (int i = 0; i < 10; ++i)
            m_day[i] = order[i] < 0 ? QLatin1Char('/') : QChar(iso[order[i]]);
        return QStringView(m_day, 10);
    }

    QHash<QString, QString> m_known;
    QChar m_day[10];
};

// The confirmation queries hold no user value: their texts are sent as they are.
QString confirmationQuery(Confirmations list) {
    return QStringLiteral("SELECT DISTINCT CR.cheval, CR.place, CR.Valeur, CR.distance, "
                          "CR.dotation, CR.date, CR.R, CR.C, CR.[type de course],CR.Etat From CR "
                          "WHERE ") +
           confirmationCondition(list) + QLatin1Char(';');
}

} // namespace

QString storedText(const QVariant& value) {
    if (value.isNull())
        return QString();
    if (value.metaType().id() == QMetaType::Double)
        return numberText(value.toDouble());
    return value.toString();
}

QString confirmationRaceCondition(Confirmations list) {
    switch (list) {
    case Confirmations::GroupWinners:
        return QStringLiteral("CR.[type de course] LIKE '%groupe%' AND CR.discipline= 'plat'");
    case Confirmations::ListedWinners:
        return QStringLiteral("CR.[type de course] LIKE '%listed%' AND CR.discipline= 'plat'");
    case Confirmations::HandicapWinners40:
        return QStringLiteral(
            "CR.valeur>='40'  AND CR.[type de course] LIKE '%Handicap%' AND CR.discipline= 'plat'");
    case Confirmations::HandicapPlacedOver40:
        break;
    }
    return QStringLiteral(
        "CR.valeur>'40'  AND CR.[type de course] LIKE '%Handicap%' AND CR.discipline= 'plat'");
}

bool confirmationFinish(Confirmations list, const racing::Finish& finish) {
    if (finish.kind != racing::Finish::Kind::Placed)
        return false;
    return list == Confirmations::HandicapPlacedOver40 ? finish.place == 2 || finish.place == 3
                                                       : finish.place == 1;
}

QString confirmationCondition(Confirmations list) {
    const QString place = list == Confirmations::HandicapPlacedOver40
                              ? QStringLiteral("(CR.place='2'  Or CR.place='3')")
                              : QStringLiteral("CR.place='1'");
    return place + QStringLiteral("  AND ") + confirmationRaceCondition(list);
}

QStringList horses(const data::Database& db) {
    QSqlQuery query = db.exec(QStringLiteral("select * from MESSUIVITS ORDER BY nomcheval;"));
    std::vector<std::pair<QCollatorSortKey, QString>> names;
    // The engine orders the names by their ASCII letters only: French order here, accented
    // initials among the others.
    const QCollator order = regional::frenchCollator();
    while (query.next()) {
        const QString name = query.value(1).toString();
        names.emplace_back(order.sortKey(name), name);
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.first.compare(b.first) < 0; });
    QStringList sorted;
    sorted.reserve(int(names.size()));
    for (const auto& name : names)
        sorted << name.second;
    return sorted;
}

bool isFollowed(const data::Database& db, const QString& name) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT nomcheval FROM MESSUIVITS"));
    while (query.next())
        if (query.value(0).toString().toUpper() == name)
            return true;
    return false;
}

std::optional<Card> readCard(const data::Database& db, const QString& name) {
    // The select list begins with the name and the note (COURSES.date), then every column
    // of both tables: num at 2, SaValeur to SaPlace from 4 to 9, IdGeny at 12.
    QSqlQuery query =
        db.exec(QStringLiteral("SELECT MESSUIVITS.nomcheval, COURSES.date, * FROM MESSUIVITS "
                               "LEFT JOIN COURSES ON MESSUIVITS.num = COURSES.reference "
                               "WHERE MESSUIVITS.nomcheval=?"),
                {name});
    if (!query.next())
        return std::nullopt;
    const auto text = [&](int column) { return storedText(query.value(column)); };
    return Card{text(2),
                text(0),
                {text(4), text(5), text(6), text(7), text(8), text(9)},
                text(1),
                text(12)};
}

void writeCard(const data::Database& db, qlonglong number, Card& card) {
    data::Transaction transaction(db);
    if (db.exec(QStringLiteral("SELECT num FROM MESSUIVITS WHERE num = ?"), {number}).next()) {
        QStringList assignments;
        QVariantList values;
        // After a confirmation list the card names no horse: the stored name stays.
        if (!card.name.isEmpty()) {
            assignments << QStringLiteral("nomcheval = ?");
            values << card.name;
        }
        const struct {
            QString* text;
            const char* assignment;
            const char* placeholder;
        } fields[] = {{&card.form.value, "SaValeur = ?", "00,0"},
                      {&card.form.going, "EtatTerrain = ?", "A renseigner"},
                      {&card.form.distance, "LaDistance = ?", "0000"},
                      {&card.form.prize, "LaDotation = ?", "A renseigner"},
                      {&card.form.raceType, "TypeCourse = ?", "A renseigner"},
                      {&card.form.place, "SaPlace = ?", "00"}};
        for (const auto& field : fields) {
            if (!field.text->isEmpty()) {
                assignments << QLatin1String(field.assignment);
                values << *field.text;
            } else {
                *field.text = QString::fromUtf8(field.placeholder);
            }
        }
        if (!assignments.isEmpty()) {
            values << number;
            db.exec(QStringLiteral("UPDATE MESSUIVITS SET ") +
                        assignments.join(QStringLiteral(", ")) + QStringLiteral(" WHERE num = ?"),
                    values);
        }
    }

    QSqlQuery note = db.exec(
        QStringLiteral("SELECT rowid FROM COURSES WHERE reference = ? ORDER BY rowid LIMIT 1"),
        {number});
    const std::optional<qint64> noteRow =
        note.next() ? std::optional<qint64>(note.value(0).toLongLong()) : std::nullopt;
    if (card.note.isEmpty())
        card.note = QStringLiteral("a saisir");
    if (card.genyId.isEmpty())
        card.genyId = QStringLiteral("a saisir");
    if (noteRow)
        db.exec(QStringLiteral("UPDATE COURSES SET date = ?, IdGeny = ? WHERE rowid = ?"),
                {card.note, card.genyId, *noteRow});
    else
        db.exec(QStringLiteral("INSERT INTO COURSES (reference, date, IdGeny) VALUES (?, ?, ?)"),
                {number, card.note, card.genyId});
    transaction.commit();
}

void follow(const data::Database& db, const QString& name, const Form& form) {
    data::Transaction transaction(db);
    QVariantList values{form.value, form.going,    form.distance,
                        form.prize, form.raceType, form.place};
    // A horse followed under another spelling ("L’AMI DU ROI") is the same horse.
    QSqlQuery found =
        db.exec(QStringLiteral("SELECT num, nomcheval FROM MESSUIVITS ORDER BY num"));
    std::optional<qlonglong> number;
    const QString key = racing::nameKey(name);
    while (!number && found.next())
        if (racing::nameKey(found.value(1).toString()) == key)
            number = found.value(0).toLongLong();
    if (number) {
        values << *number;
        db.exec(QStringLiteral("UPDATE MESSUIVITS SET SaValeur = ?, EtatTerrain = ?, "
                               "LaDistance = ?, LaDotation = ?, TypeCourse = ?, SaPlace = ? "
                               "WHERE num = ?"),
                values);
    } else {
        values.prepend(name);
        db.exec(QStringLiteral("INSERT INTO MESSUIVITS (nomcheval, SaValeur, EtatTerrain, "
                               "LaDistance, LaDotation, TypeCourse, SaPlace) "
                               "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                values);
    }
    transaction.commit();
}

void unfollow(const data::Database& db, qlonglong number) {
    data::Transaction transaction(db);
    db.exec(QStringLiteral("DELETE FROM MESSUIVITS WHERE num = ?"), {number});
    transaction.commit();
}

void readRaces(const data::Database& db, const QString& name, CellSink& cells) {
    data::Statement rs(
        db.raw(),
        QStringLiteral("select  CR.date, CR.hippodrome, CR.R, CR.C, CR.course, CR.nbPartant, "
                       "CR.distance, CR.dotation, CR.dossard, CR.chevalMusique, CR.jockey,  "
                       "CR.statut, CR.place,CR.Terrain, CR.Etat, CR.valeur,"
                       "CR.[type de course],CR.commentaire From CR ") +
            kCrLf +
            QStringLiteral("WHERE CR.cheval IN (SELECT value FROM json_each(?)) ORDER BY CR.date;"),
        {racing::resultSpellingsParameter(db, name)});
    FrenchDates frenchDate;
    while (rs.next()) {
        cells.addCell(rs.isNull(0) ? QStringView() : frenchDate.stored(rs, 0));
        for (int j = 1; j <= 17; ++j)
            addStoredCell(cells, rs, j);
    }
}

void readConfirmations(const data::Database& db, Confirmations list, CellSink& cells) {
    // Tens of thousands of rows: each cell goes from the engine's own text to the list, with
    // no value or string made for it on the way.
    data::Statement rs(db.raw(), confirmationQuery(list), {});
    const QString nonConnu = QStringLiteral("NonConnu");
    QString rc;
    FrenchDates frenchDate;
    const auto add = [&](int column, bool known) {
        addStoredCell(cells, rs, column, known ? QStringView(nonConnu) : QStringView());
    };
    const auto appendPart = [&](int column) {
        if (rs.isReal(column))
            rc += numberText(rs.real(column));
        else
            appendUtf8(rc, rs.utf8(column));
    };
    while (rs.next()) {
        add(0, false);
        add(1, false);
        add(2, true);
        add(3, true);
        add(4, true);
        cells.addCell(rs.isNull(5) ? QStringView(nonConnu) : frenchDate.stored(rs, 5));
        rc = QLatin1Char('R');
        appendPart(6);
        rc += QLatin1Char('C');
        appendPart(7);
        cells.addCell(QStringView(rc));
        add(8, true);
        add(9, true);
    }
}

} // namespace followed
