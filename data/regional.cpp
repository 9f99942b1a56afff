#include "data/regional.h"

#include <QRegularExpression>
#include <cmath>

namespace regional {
namespace {
QDate& fixedToday() {
    static QDate date;
    return date;
}
} // namespace

QLocale frenchLocale() {
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::French)
        return system;
    return QLocale(QLocale::French, QLocale::France);
}

QCollator frenchCollator() {
    QCollator collator(QLocale(QLocale::French, QLocale::France));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QString formatMoney(Money amount) {
    const QLocale locale = frenchLocale();
    QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
    if (symbol.isEmpty())
        symbol = QStringLiteral("€");
    // Qt writes some negative currency amounts in the accounting form "(10,00 €)"; the
    // ledger has always shown a leading minus sign.
    const qint64 cents = amount.cents();
    QString text = locale.toCurrencyString(std::abs(cents) / 100.0, symbol, 2);
    if (cents < 0)
        text.prepend(QLatin1Char('-'));
    return text;
}

QString dotsToCommas(QString typed) {
    return typed.replace(QLatin1Char('.'), QLatin1Char(','));
}

TypedAmount readAmount(const QString& typed) {
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(,\\d*)?|,\\d+)$"));
    // The grouping and the sign the currency format writes.
    static const QRegularExpression shown(QStringLiteral(
        "^([+-]?(?:\\d{1,3}(?:[ \\x{00A0}\\x{202F}]\\d{3})+|\\d+)(?:,\\d*)?|[+-]?,\\d+)"
        "(?:[ \\x{00A0}\\x{202F}]?€)?$"));
    static const QRegularExpression groupSeparator(QStringLiteral("[ \\x{00A0}\\x{202F}]"));
    // Leading zeros and trailing zeros of the decimals say nothing of the size.
    static const QRegularExpression significant(QStringLiteral("^[+-]?0*(\\d*)(?:,(\\d*?)0*)?$"));
    QString text = dotsToCommas(typed).trimmed();
    if (!number.match(text).hasMatch()) {
        const auto written = shown.match(text);
        if (!written.hasMatch())
            return {std::nullopt, AmountError::NotANumber};
        text = written.captured(1).remove(groupSeparator);
    }
    const auto parts = significant.match(text);
    if (parts.capturedLength(1) > 9)
        return {std::nullopt, AmountError::TooLarge};
    if (parts.capturedLength(2) > 2)
        return {std::nullopt, AmountError::TooManyDecimals};
    // Read to the cent from the digits themselves, never through a binary fraction.
    const qint64 euros = parts.captured(1).toLongLong();
    const qint64 cents = parts.captured(2).leftJustified(2, QLatin1Char('0')).toLongLong();
    const Money value = Money::fromCents(euros * 100 + cents);
    return {text.startsWith(QLatin1Char('-')) ? -value : value, AmountError::NotANumber};
}

TypedAmount readPositiveAmount(const QString& typed) {
    TypedAmount amount = readAmount(typed);
    if (amount.value && *amount.value < Money())
        return {std::nullopt, AmountError::Negative};
    return amount;
}

QString typedAmount(Money amount) {
    return frenchLocale().toString(amount.cents() / 100.0, 'f', 2);
}

std::optional<Money> parseAmount(const QString& typed) {
    return readAmount(typed).value;
}

QString amountErrorText(AmountError error) {
    switch (error) {
    case AmountError::TooManyDecimals:
        return QStringLiteral("Le montant ne peut pas avoir plus de deux décimales (le "
                              "centime), par exemple 12,50.");
    case AmountError::TooLarge:
        return QStringLiteral("Le montant doit rester inférieur à 1 000 000 000.");
    case AmountError::Negative:
        return QStringLiteral("Le montant doit être positif.");
    case AmountError::NotANumber:
        break;
    }
    return QStringLiteral("Le montant doit être un nombre, par exemple 12,50.");
}

QDate today() {
    const QDate fixed = fixedToday();
    return fixed.isValid() ? fixed : QDate::currentDate();
}

void setToday(const QDate& date) {
    fixedToday() = date;
}

QString frenchDate(const QDate& date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QString frenchDateFromIso(const QString& iso) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(.*)$"));
    const auto match = pattern.match(iso);
    const QDate date =
        match.hasMatch()
            ? QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt())
            : QDate();
    if (!date.isValid())
        return iso;
    return frenchDate(date) + match.captured(4);
}

QString counted(qint64 n, const QString& singular, const QString& plural) {
    QString digits = QString::number(n < 0 ? -n : n);
    for (int i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, QLatin1Char(' '));
    if (n < 0)
        digits.prepend(QLatin1Char('-'));
    return digits + QLatin1Char(' ') + (n > -2 && n < 2 ? singular : plural);
}

const QStringList& monthNames() {
    static const QStringList names = {
        QStringLiteral("Janvier"), QStringLiteral("Février"),  QStringLiteral("Mars"),
        QStringLiteral("Avril"),   QStringLiteral("Mai"),      QStringLiteral("Juin"),
        QStringLiteral("Juillet"), QStringLiteral("Aout"),     QStringLiteral("Septembre"),
        QStringLiteral("Octobre"), QStringLiteral("Novembre"), QStringLiteral("décembre")};
    return names;
}

std::optional<QString> monthNamed(const QString& typed) {
    const int index = monthIndex(typed);
    if (index < 0)
        return std::nullopt;
    return monthNames().at(index);
}

namespace {
// Older versions and hand-made files spell months their own way ("Août", "DECEMBRE"): what
// the name says is read without case or accents.
QString monthKey(const QString& name) {
    QString key;
    for (const QChar c : name.trimmed().normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            key += c;
    return key.toCaseFolded();
}
} // namespace

int monthIndex(const QString& name) {
    static const QStringList keys = [] {
        QStringList folded;
        for (const QString& month : monthNames())
            folded << monthKey(month);
        return folded;
    }();
    return int(keys.indexOf(monthKey(name)));
}

QString nocaseKey(QString text) {
    for (QChar& c : text)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    return text;
}

QString simplifiedName(const QString& typed) {
    return typed.simplified();
}

} // namespace regional
