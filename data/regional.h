#pragma once

#include "data/money.h"

#include <QCollator>
#include <QDate>
#include <QLocale>
#include <QString>
#include <optional>

// Money, dates and today's date as the French user expects them.
namespace regional {

// The system locale when its language is French, else French (France).
QLocale frenchLocale();

// The order of words in the lists: French, case ignored. The statistics add the numeric
// mode ("Cheval 2" before "Cheval 10").
QCollator frenchCollator();

// "1 234,50 €"; negative amounts as "-10,00 €", never in parentheses.
QString formatMoney(Money amount);

// Why a typed amount cannot be a sum of money.
enum class AmountError { NotANumber, TooManyDecimals, TooLarge, Negative };

struct TypedAmount {
    std::optional<Money> value;
    AmountError error = AmountError::NotANumber; // when there is no value
};

// An amount typed by the user: every "." becomes ",", then the whole text must be a
// decimal number written with the comma (blanks around it are ignored), with at most two
// decimals that are not zero (a cent), and under 1 000 000 000 in size, so that every
// amount and balance shows whole and adds up to the cent. It may be written as the ledger
// shows amounts: groups of three digits apart ("1 000,50", with a plain, no-break or narrow
// no-break space) and the euro sign after it ("1 000,50 €").
TypedAmount readAmount(const QString& typed);
// The same, refusing a negative amount: stakes, wins, credits and balances are entered as
// they are; a mistake is corrected by reversing its line.
TypedAmount readPositiveAmount(const QString& typed);
// An amount as readAmount takes it back, without the euro sign: "1 000,50".
QString typedAmount(Money amount);
std::optional<Money> parseAmount(const QString& typed);

// The French sentence that tells the user why the amount was refused.
QString amountErrorText(AmountError error);

// The typed text with every "." replaced by ",", as the ledger writes it back into its boxes.
QString dotsToCommas(QString typed);

// Today's date. Tests set it; an invalid date brings back the system clock.
QDate today();
void setToday(const QDate& date);

// dd/MM/yyyy
QString frenchDate(const QDate& date);

// "2024-03-05" (optionally followed by " HH:MM") becomes "05/03/2024" (with the time kept);
// any other text, a day that is not in the calendar ("2024-13-45") too, is returned unchanged.
QString frenchDateFromIso(const QString& iso);

// A count and its noun, French style: the singular below two ("0 pari réglé", "1 ligne
// archivée", "2 paris réglés"), the digits grouped by three ("12 345 lignes").
QString counted(qint64 n, const QString& singular, const QString& plural);

// The twelve month names the ledger stores, January first, spelled as the ledger always has.
const QStringList& monthNames();

// The ledger's name of the month typed or stored, whatever its case, accents and
// surrounding blanks ("DÉCEMBRE " is "décembre", "Août" is "Aout"); nothing for a text that
// names no month.
std::optional<QString> monthNamed(const QString& typed);
// 0 for Janvier to 11 for décembre, -1 for a text that names no month; compared as
// monthNamed compares.
int monthIndex(const QString& name);

// A text as the file's COLLATE NOCASE compares it: A to Z fold to a to z, every other
// character (an accented letter too) stays as it is. Two spellings the file takes for one
// name give one key.
QString nocaseKey(QString text);

// A name as typed, its blanks and tabs made single spaces and those around it dropped:
// "Jolie\tFille " is "Jolie Fille".
QString simplifiedName(const QString& typed);

} // namespace regional
