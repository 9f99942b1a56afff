#pragma once

#include "data/database.h"
#include "racing/vocabulary.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariant>
#include <optional>

// Every read and write of the followed horses, free of any window: the list (MESSUIVITS),
// each horse's card and note (COURSES), its races and the confirmation lists (CR). Each
// write is a single transaction: it commits completely or, on an engine error, rolls back
// and throws data::DbError.
namespace followed {

// The names of the followed horses in French order, accented initials among the others.
QStringList horses(const data::Database& db);

// Whether a followed horse's name, in capitals, is `name` (given in capitals): the engine's
// own case folding knows no accented letter.
bool isFollowed(const data::Database& db, const QString& name);

// What the card keeps of a horse after its name, as texts.
struct Form {
    QString value;    // SaValeur
    QString going;    // EtatTerrain
    QString distance; // LaDistance
    QString prize;    // LaDotation
    QString raceType; // TypeCourse
    QString place;    // SaPlace
};

// A followed horse's card as it is shown: its row of MESSUIVITS and its note.
struct Card {
    QString number; // num
    QString name;
    Form form;
    QString note;   // COURSES.date
    QString genyId; // COURSES.IdGeny
};

// The card of the followed horse named `name` (the engine's comparison), with the note of
// its first note row; nothing when no horse has that name.
std::optional<Card> readCard(const data::Database& db, const QString& name);

// Writes `card` over followed horse `number` and over its first note row (one is added when
// it has none). An empty name or form text keeps what is stored, and the form text gets its
// placeholder ("00,0", "A renseigner", "0000", "00"); an empty note or id is stored as
// "a saisir". A number no horse has only writes the note. `card` is given each placeholder
// as it is used, and keeps those given when the write then fails.
void writeCard(const data::Database& db, qlonglong number, Card& card);

// Follows the horse `name` with `form`: the followed horse of that name (the engine's
// comparison) takes the form and keeps its name and number; otherwise a new one is added.
void follow(const data::Database& db, const QString& name, const Form& form);

// Stops following horse `number`; its note row stays. Nothing when no horse has it.
void unfollow(const data::Database& db, qlonglong number);

// A stored value as the card and the lists show it: numbers with the French decimal comma,
// whole ones plainly; an empty text for a null.
QString storedText(const QVariant& value);

// Receives the cells of a list, row after row; a text is only valid during the call.
class CellSink {
public:
    virtual void addCell(QStringView text) = 0;
    virtual void addCell(QByteArrayView utf8) = 0;

protected:
    ~CellSink() = default;
};

// The 18 cells of each race of the horse `name`, in date order: date (dd/MM/yyyy), course,
// R, C, race, runners, distance, prize, saddle number, form figures, jockey, status, place,
// ground, going, value, race type, comment. Numbers show the French decimal comma.
void readRaces(const data::Database& db, const QString& name, CellSink& cells);

// The lists of horses that confirmed, each row once.
enum class Confirmations {
    GroupWinners,        // first in a flat group race
    ListedWinners,       // first in a flat listed race
    HandicapWinners40,   // first in a flat handicap, value 40 or more
    HandicapPlacedOver40 // second or third in a flat handicap, value over 40
};

// What a row of CR meets to be in `list`: the SQL condition on CR's columns that the list's
// query uses, so that whatever else tests a horse against a list agrees with it.
QString confirmationCondition(Confirmations list);
// The same in two halves: what the race must be (SQL on CR's columns), and the finish the
// horse must have had in it, read as the racing vocabulary reads a place ("1er" is first).
QString confirmationRaceCondition(Confirmations list);
bool confirmationFinish(Confirmations list, const racing::Finish& finish);

// The 9 cells of each row of a confirmation list: horse, place, value, distance, prize,
// date, "R1C4", race type, going; "NonConnu" for what is not known of a value, a distance,
// a prize, a date, a race type or a going.
void readConfirmations(const data::Database& db, Confirmations list, CellSink& cells);

} // namespace followed
