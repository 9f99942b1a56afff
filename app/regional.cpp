#include "app/regional.h"

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

QString formatMoney(double amount) {
    const QLocale locale = frenchLocale();
    QString symbol = locale.currencySymbol(QLocale::CurrencySymbol);
    if (symbol.isEmpty())
        symbol = QStringLiteral("€");
    // Qt writes some negative currency amounts in the accounting form "(10,00 €)"; the
    // ledger has always shown a leading minus sign.
    QString text = locale.toCurrencyString(std::fabs(amount), symbol, 2);
    if (amount < 0 && std::fabs(amount) >= 0.005)
        text.prepend(QLatin1Char('-'));
    return text;
}

QString dotsToCommas(QString typed) {
    return typed.replace(QLatin1Char('.'), QLatin1Char(','));
}

std::optional<double> parseAmount(const QString& typed) {
    // At most two decimals (a cent) beyond any trailing zeros, and under a billion: what a
    // money box shows whole and a double holds to the cent.
    static const QRegularExpression pattern(
        QStringLiteral("^[+-]?0*(\\d{0,9})(,(\\d{0,2})0*)?$"));
    const QString text = dotsToCommas(typed).trimmed();
    const auto match = pattern.match(text);
    if (!match.hasMatch() || !text.contains(QRegularExpression(QStringLiteral("\\d"))))
        return std::nullopt;
    bool ok = false;
    const double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) >= 1e9)
        return std::nullopt;
    return value;
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
    if (!match.hasMatch())
        return iso;
    return match.captured(3) + QLatin1Char('/') + match.captured(2) + QLatin1Char('/') +
           match.captured(1) + match.captured(4);
}

const QStringList& monthNames() {
    static const QStringList names = {
        QStringLiteral("Janvier"), QStringLiteral("Février"),  QStringLiteral("Mars"),
        QStringLiteral("Avril"),   QStringLiteral("Mai"),      QStringLiteral("Juin"),
        QStringLiteral("Juillet"), QStringLiteral("Aout"),     QStringLiteral("Septembre"),
        QStringLiteral("Octobre"), QStringLiteral("Novembre"), QStringLiteral("décembre")};
    return names;
}

} // namespace regional
