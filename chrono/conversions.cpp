#include "chrono/conversions.h"

#include <QByteArray>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace chrono {
namespace {

constexpr double kHeure = 360000.0;
constexpr double kMinute = 6000.0;

// m, s or c of a formatted time: a text of one character gets a "0" in front.
QString deuxChiffres(const QString& text) {
    return text.size() == 1 ? QLatin1Char('0') + text : text;
}

// Fixed notation with at most `decimales` decimals, trailing zeros dropped ("47", "47.5").
QString texteCourt(double x, int decimales) {
    QString text = QString::number(x, 'f', decimales);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

double arrondiDecimales(double x, int decimales) {
    const double echelle = std::pow(10.0, decimales);
    return std::round(x * echelle) / echelle;
}

// A chrono number's writing in ASCII: an optional sign, digits and at most one ".". Nothing
// for a text that is not such a number (see LireNombreChrono).
std::optional<QByteArray> ecritureAscii(const QString& text) {
    const QString t = text.trimmed();
    QByteArray ascii;
    ascii.reserve(t.size());
    int chiffres = 0;
    int separateurs = 0;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar ch = t.at(i);
        if (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) {
            ++chiffres;
            ascii.append(char(ch.unicode()));
        } else if (ch == QLatin1Char('.') || ch == QLatin1Char(',')) {
            if (++separateurs > 1)
                return std::nullopt;
            ascii.append('.');
        } else if ((ch == QLatin1Char('-') || ch == QLatin1Char('+')) && i == 0) {
            ascii.append(char(ch.unicode()));
        } else {
            return std::nullopt;
        }
    }
    if (chiffres == 0)
        return std::nullopt;
    return ascii;
}

// A decimal written exactly: ± chiffres × 10^−decimales.
struct Decimal {
    bool negatif = false;
    std::string chiffres;
    size_t decimales = 0;
};

Decimal decimal(const QByteArray& ascii) {
    Decimal d;
    for (const char c : ascii) {
        if (c == '-')
            d.negatif = true;
        else if (c == '.')
            d.decimales = size_t(ascii.size() - ascii.indexOf('.') - 1);
        else if (c != '+')
            d.chiffres += c;
    }
    return d;
}

} // namespace

std::optional<double> LireNombreChrono(const QString& text) {
    const auto ascii = ecritureAscii(text);
    if (!ascii)
        return std::nullopt;
    bool ok = false;
    const double value = ascii->toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<float> DifferenceDecimale(const QString& a, const QString& b) {
    for (const QString& poids : {a, b}) {
        const auto lu = LireNombreChrono(poids);
        if (!lu || *lu < 0 || *lu > kPoidsMaximum)
            return std::nullopt;
    }
    Decimal x = decimal(*ecritureAscii(a));
    Decimal y = decimal(*ecritureAscii(b));
    // The same number of decimals, then the same number of digits.
    const size_t decimales = std::max(x.decimales, y.decimales);
    x.chiffres.append(decimales - x.decimales, '0');
    y.chiffres.append(decimales - y.decimales, '0');
    const size_t longueur = std::max(x.chiffres.size(), y.chiffres.size()) + 1;
    x.chiffres.insert(0, longueur - x.chiffres.size(), '0');
    y.chiffres.insert(0, longueur - y.chiffres.size(), '0');

    // a − b = a + (−b): magnitudes added when the signs agree, else the smaller taken from
    // the larger, which gives its sign.
    y.negatif = !y.negatif;
    std::string chiffres(longueur, '0');
    bool negatif = x.negatif;
    if (x.negatif == y.negatif) {
        int retenue = 0;
        for (size_t i = longueur; i-- > 0;) {
            const int d = (x.chiffres[i] - '0') + (y.chiffres[i] - '0') + retenue;
            chiffres[i] = char('0' + d % 10);
            retenue = d / 10;
        }
    } else {
        const bool xPlusGrand = x.chiffres >= y.chiffres;
        const std::string& grand = xPlusGrand ? x.chiffres : y.chiffres;
        const std::string& petit = xPlusGrand ? y.chiffres : x.chiffres;
        negatif = xPlusGrand ? x.negatif : y.negatif;
        int emprunt = 0;
        for (size_t i = longueur; i-- > 0;) {
            int d = (grand[i] - '0') - (petit[i] - '0') - emprunt;
            emprunt = d < 0 ? 1 : 0;
            chiffres[i] = char('0' + d + 10 * emprunt);
        }
    }
    const std::string entier = chiffres.substr(0, longueur - decimales);
    std::string ecrit = (negatif ? "-" : "") + entier;
    if (decimales > 0)
        ecrit += "." + chiffres.substr(entier.size());
    float difference = 0;
    const auto lu = std::from_chars(ecrit.data(), ecrit.data() + ecrit.size(), difference);
    if (lu.ec == std::errc::result_out_of_range) {
        // Too small (no whole part) rounds to 0; too large cannot be held.
        if (entier.find_first_not_of('0') != std::string::npos)
            return std::nullopt;
        return 0.0f;
    }
    if (lu.ec != std::errc() || !std::isfinite(difference))
        return std::nullopt;
    return difference;
}

std::optional<double> ConvertirEnCentiemes(double heures, double minutes, double secondes,
                                           double centiemes) {
    const double total = heures * kHeure + minutes * kMinute + secondes * 100.0 + centiemes;
    if (!std::isfinite(total))
        return std::nullopt;
    return total;
}

std::optional<double> ConvertirEnCentiemes(const QString& heures, const QString& minutes,
                                           const QString& secondes, const QString& centiemes) {
    double valeurs[4] = {0, 0, 0, 0};
    const QString* textes[4] = {&heures, &minutes, &secondes, &centiemes};
    for (int i = 0; i < 4; ++i) {
        if (textes[i]->trimmed().isEmpty())
            continue;
        const auto v = LireNombreChrono(*textes[i]);
        if (!v)
            return std::nullopt;
        valeurs[i] = *v;
    }
    return ConvertirEnCentiemes(valeurs[0], valeurs[1], valeurs[2], valeurs[3]);
}

QString FormaterCentiemes(double p) {
    if (!std::isfinite(p))
        return QString();
    // A double holds about 15 significant digits of p; what lies beyond is noise of the
    // arithmetic (15.3 s is not exactly 1530 hundredths) and is not written.
    const double grandeur = std::fabs(p);
    const int chiffresEntiers = grandeur >= 1.0 ? int(std::floor(std::log10(grandeur))) + 1 : 1;
    const int decimales = qBound(0, 15 - chiffresEntiers, 12);

    // The hours are not shown, so only the remainder of the hour matters; fmod is exact, so
    // this agrees with subtracting floor(p / 360000) hours even for very large values.
    double r = std::fmod(p, kHeure);
    if (r < 0)
        r += kHeure;
    r = arrondiDecimales(r, decimales);
    if (r >= kHeure)
        r = 0;

    double m = std::floor(r / kMinute);
    if (m * kMinute > r)
        m -= 1;
    double s = std::floor((r - m * kMinute) / 100.0);
    if (s * 100.0 > r - m * kMinute)
        s -= 1;
    const double c = r - m * kMinute - s * 100.0;

    return deuxChiffres(texteCourt(m, 0)) + QLatin1Char(':') + deuxChiffres(texteCourt(s, 0)) +
           QLatin1Char(':') + deuxChiffres(texteCourt(c, decimales));
}

QString FormaterMinutes(float minutes) {
    if (!std::isfinite(minutes))
        return QString();
    // Single precision throughout, as the minutes are held.
    float entier = std::floor(minutes);
    float secondes = std::round((minutes - entier) * 60.0f);
    if (secondes >= 60.0f) { // 0.9999999 minute is one minute, not "0:60"
        entier += 1.0f;
        secondes = 0.0f;
    }
    if (secondes < 0.0f)
        secondes = 0.0f;
    return texteCourt(double(entier), 0) + QLatin1Char(':') +
           QStringLiteral("%1").arg(int(secondes), 2, 10, QLatin1Char('0'));
}

std::optional<double> SecondesEnCentiemes(float secondes) {
    if (!std::isfinite(secondes))
        return std::nullopt;
    if (secondes == 0.0f)
        return 0.0;
    // The 7 significant digits of the value, as "d.dddddde±XX" (locale-independent).
    char buffer[32];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(secondes),
                                   std::chars_format::scientific, 6);
    if (res.ec != std::errc())
        return std::nullopt;
    const std::string ecrit(buffer, res.ptr);
    const auto e = ecrit.find('e');
    if (e == std::string::npos || e != 8)
        return std::nullopt;
    const qint64 chiffres = std::stoll(ecrit.substr(0, 1) + ecrit.substr(2, 6));
    const int exposant = std::atoi(ecrit.c_str() + e + 1);

    // value = chiffres × 10^(exposant − 6); hundredths = value × 100, truncated.
    const int puissance = exposant - 4;
    double centiemes = 0;
    if (puissance >= 0) {
        centiemes = double(chiffres) * std::pow(10.0, puissance);
    } else if (puissance > -8) {
        qint64 diviseur = 1;
        for (int i = 0; i < -puissance; ++i)
            diviseur *= 10;
        centiemes = double(chiffres / diviseur);
    }
    return secondes < 0 ? -centiemes : centiemes;
}

double ArrondirAuPair(double x) {
    if (!std::isfinite(x))
        return x;
    const double plancher = std::floor(x);
    const double reste = x - plancher;
    if (reste > 0.5)
        return plancher + 1.0;
    if (reste < 0.5)
        return plancher;
    return std::fmod(plancher, 2.0) == 0.0 ? plancher : plancher + 1.0;
}

ResultatArrondi FormaterResultat(float secondes) {
    ResultatArrondi resultat;
    if (!std::isfinite(secondes))
        return resultat;
    // A float times 100 is exact in a double, so halves are seen as halves.
    const double arrondi = ArrondirAuPair(double(secondes) * 100.0);
    double centiemes = std::fmod(arrondi, 100.0);
    if (centiemes < 0)
        centiemes += 100.0;
    centiemes = qBound(0.0, centiemes, 99.0);
    // Never beyond the largest float: converting a larger double to float is undefined.
    const double plusGrand = double(std::numeric_limits<float>::max());
    const double entieres =
        qBound(-plusGrand, std::floor((arrondi - centiemes) / 100.0), plusGrand);
    resultat.centiemes = qint16(centiemes);
    resultat.texte = FormaterMinutes(float(entieres) / 60.0f) + QLatin1Char(':') +
                     QStringLiteral("%1").arg(int(resultat.centiemes), 2, 10, QLatin1Char('0'));
    return resultat;
}

} // namespace chrono
