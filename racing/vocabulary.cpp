#include "racing/vocabulary.h"

#include <QRegularExpression>
#include <QStringList>

namespace racing {
namespace {

bool isApostrophe(QChar c) {
    return c == QLatin1Char('\'') || c == QChar(0x2019) || c == QChar(0x02BC) || c == QChar(0x2018);
}

// "non partant", "Non-partant", "NON PARTANTE", "NP", also inside a longer status
// ("Retiré : non partant").
bool saysNonRunner(const QString& text) {
    // Most places are a figure, most statuses empty: neither says anything of the kind.
    if (text.isEmpty() || text.front().isDigit())
        return false;
    const QString key = nameKey(text);
    if (key == QLatin1String("NP"))
        return true;
    static const QRegularExpression words(QStringLiteral("\\bNON[ -]?PARTANTE?S?\\b"));
    return words.match(key).hasMatch();
}

} // namespace

QString nameKey(const QString& name) {
    // Most stored names are already their key: upper-case ASCII, single blanks.
    bool plain =
        !name.isEmpty() && name.front() != QLatin1Char(' ') && name.back() != QLatin1Char(' ');
    for (qsizetype i = 0; plain && i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        plain = c > 0x20 ? c < 0x7f && c != '\'' && !(c >= 'a' && c <= 'z')
                         : c == ' ' && name.at(i - 1) != QLatin1Char(' ');
    }
    if (plain)
        return name;
    // Accents go with the canonical decomposition: "É" is "E" and a combining acute.
    const QString decomposed = name.normalized(QString::NormalizationForm_D);
    QString key;
    key.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing || isApostrophe(c))
            continue;
        key += c;
    }
    return key.simplified().toUpper();
}

bool asciiNameKey(std::string_view name, std::string& key) {
    key.clear();
    bool blank = false; // a blank is written once the next word starts: none at either end
    for (const char byte : name) {
        const auto c = static_cast<unsigned char>(byte);
        if (c >= 0x80)
            return false;
        if (c == '\'')
            continue;
        if (c == ' ' || (c >= '\t' && c <= '\r')) {
            blank = !key.empty();
            continue;
        }
        if (blank)
            key += ' ';
        blank = false;
        key += char(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    }
    return true;
}

bool sameName(const QString& a, const QString& b) {
    return a == b || nameKey(a) == nameKey(b);
}

Finish finishOf(const QString& place, const QString& status) {
    Finish finish;
    if (saysNonRunner(place) || saysNonRunner(status)) {
        finish.kind = Finish::Kind::NonRunner;
        return finish;
    }
    const QString code = nameKey(place);
    if (code.isEmpty())
        return finish;
    int digits = 0;
    while (digits < code.size() && code.at(digits).isDigit())
        ++digits;
    const int rank = code.left(digits).toInt();
    if (digits == 0 || rank == 0) {
        finish.kind = Finish::Kind::NotPlaced;
        finish.code = code;
        return finish;
    }
    finish.kind = Finish::Kind::Placed;
    finish.place = rank;
    finish.deadHeat = code.mid(digits).trimmed().startsWith(QLatin1String("EX"));
    return finish;
}

std::optional<QChar> formFigure(const Finish& finish) {
    switch (finish.kind) {
    case Finish::Kind::NonRunner:
        return std::nullopt;
    case Finish::Kind::Unknown:
        return QLatin1Char('?');
    case Finish::Kind::Placed:
        return finish.place <= 9 ? QChar(QLatin1Char(char('0' + finish.place))) : QLatin1Char('0');
    case Finish::Kind::NotPlaced:
        return finish.code.at(0).isDigit() ? QLatin1Char('0') : finish.code.at(0);
    }
    return std::nullopt;
}

int paidPlaces(int starters) {
    return starters >= 8 ? 3 : starters >= 4 ? 2 : 0;
}

} // namespace racing
