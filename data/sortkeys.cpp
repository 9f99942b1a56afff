#include "data/sortkeys.h"

#include <QDate>
#include <algorithm>
#include <numeric>

namespace sorting {

ColumnKeys::ColumnKeys(int rows, QCollator collator)
    : m_keys(size_t(qMax(0, rows))), m_collator(std::move(collator)) {}

void ColumnKeys::setUnknown(int row) {
    Key& key = m_keys[size_t(row)];
    key.unknown = true;
    key.group = 0;
    key.number = 0;
    key.word = -1;
}

void ColumnKeys::setNumber(int row, double number, int group) {
    Key& key = m_keys[size_t(row)];
    key.unknown = false;
    key.group = group;
    key.number = number;
    key.word = -1;
}

void ColumnKeys::setWord(int row, QStringView word, int group) {
    Key& key = m_keys[size_t(row)];
    key.unknown = false;
    key.group = group;
    key.number = 0;
    key.word = wordNumber(word);
}

void ColumnKeys::setTieBreak(int row, QStringView word) {
    m_keys[size_t(row)].tie = wordNumber(word);
}

int ColumnKeys::wordNumber(QStringView word) {
    // Looked up without a copy; only a new word is copied.
    const QString probe = QString::fromRawData(word.data(), word.size());
    const auto found = m_numbers.constFind(probe);
    if (found != m_numbers.constEnd())
        return *found;
    const int number = int(m_words.size());
    m_words.push_back(word.toString());
    m_numbers.insert(m_words.back(), number);
    return number;
}

void ColumnKeys::finish() {
    if (m_finished)
        return;
    m_finished = true;
    if (m_words.empty())
        return;
    // One collation key per distinct word; the rows then compare whole numbers.
    std::vector<QCollatorSortKey> collated;
    collated.reserve(m_words.size());
    for (const QString& word : m_words)
        collated.push_back(m_collator.sortKey(word));
    std::vector<int> sorted(m_words.size());
    std::iota(sorted.begin(), sorted.end(), 0);
    std::sort(sorted.begin(), sorted.end(),
              [&](int a, int b) { return collated[size_t(a)].compare(collated[size_t(b)]) < 0; });
    // Words the collator holds equal ("Eclair", "ECLAIR") share their rank.
    std::vector<int> rank(m_words.size());
    int current = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        if (i > 0 && collated[size_t(sorted[i - 1])].compare(collated[size_t(sorted[i])]) != 0)
            ++current;
        rank[size_t(sorted[i])] = current;
    }
    for (Key& key : m_keys) {
        if (key.word >= 0)
            key.word = rank[size_t(key.word)];
        if (key.tie >= 0)
            key.tie = rank[size_t(key.tie)];
    }
    m_numbers.clear();
    m_words.clear();
    m_words.shrink_to_fit();
}

std::vector<int> ColumnKeys::order(Qt::SortOrder order) {
    finish();
    std::vector<int> rows(m_keys.size());
    std::iota(rows.begin(), rows.end(), 0);
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return before(a, b, order); });
    return rows;
}

namespace {

// `count` ASCII digits from `at` as a number, or -1.
int digits(QStringView text, int at, int count) {
    int value = 0;
    for (int i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// A date cell, "dd/MM/yyyy" with an optional " HH:MM", as minutes since the calendar's
// start; nothing for any other text.
std::optional<qint64> dateKey(QStringView text) {
    if ((text.size() != 10 && text.size() != 16) || text[2] != u'/' || text[5] != u'/')
        return std::nullopt;
    const int day = digits(text, 0, 2);
    const int month = digits(text, 3, 2);
    const int year = digits(text, 6, 4);
    int hours = 0;
    int minutes = 0;
    if (text.size() == 16) {
        if (text[10] != u' ' || text[13] != u':')
            return std::nullopt;
        hours = digits(text, 11, 2);
        minutes = digits(text, 14, 2);
    }
    if (day < 0 || month < 0 || year < 0 || hours < 0 || minutes < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date.toJulianDay() * 1440 + hours * 60 + minutes;
}

// A number cell, with a decimal comma or point.
std::optional<double> numberKey(QStringView text) {
    // Most cells are plain figures ("2", "150000", "42,5"): read without a copy. Fifteen
    // digits and a power of ten are exact doubles, so their quotient is the double the
    // general reading gives.
    qint64 mantissa = 0;
    int decimals = -1;
    int figures = 0;
    bool plain = !text.isEmpty() && text.size() <= 16;
    for (qsizetype i = 0; plain && i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            mantissa = mantissa * 10 + (c - u'0');
            ++figures;
            if (decimals >= 0)
                ++decimals;
        } else {
            // One separator, with figures on both sides.
            plain = (c == u',' || c == u'.') && decimals < 0 && i > 0 && i + 1 < text.size();
            decimals = 0;
        }
    }
    if (plain && figures <= 15) {
        static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        return double(mantissa) / kTens[qMax(0, decimals)];
    }
    // A word is no number unless it spells one ("inf", "nan"): names, goings and race types
    // are turned down without a copy.
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const char16_t u = c.toLower().unicode();
        if (c.isLetter() && u != u'i' && u != u'n')
            return std::nullopt;
        break;
    }
    bool ok = false;
    const double value = text.toString().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// Empty cells and the lists' "NonConnu" say nothing of a column's kind; they count as the
// smallest values.
bool unknownCell(QStringView text) {
    return text.isEmpty() || text == QLatin1String("NonConnu");
}

} // namespace

ColumnKeys textKeys(int rows, const std::function<QStringView(int row)>& cell) {
    ColumnKeys keys(rows);
    bool dates = false;
    for (int row = 0; row < rows; ++row) {
        const QStringView text = cell(row);
        if (unknownCell(text)) {
            keys.setUnknown(row);
            continue;
        }
        const auto date = dateKey(text);
        if (!date) {
            dates = false;
            break;
        }
        dates = true;
        keys.setNumber(row, double(*date));
    }
    if (dates)
        return keys;

    enum Kind : char { Unknown, Number, Word };
    std::vector<Kind> kinds(size_t(qMax(0, rows)), Word);
    std::vector<double> numbers(kinds.size(), 0.0);
    int known = 0;
    int counted = 0;
    for (int row = 0; row < rows; ++row) {
        const QStringView text = cell(row);
        if (unknownCell(text)) {
            kinds[size_t(row)] = Unknown;
            continue;
        }
        ++known;
        if (const auto number = numberKey(text)) {
            kinds[size_t(row)] = Number;
            numbers[size_t(row)] = *number;
            ++counted;
        }
    }
    const bool words = counted == 0 || 2 * counted < known;
    for (int row = 0; row < rows; ++row) {
        if (words) {
            keys.setWord(row, cell(row));
            continue;
        }
        switch (kinds[size_t(row)]) {
        case Unknown:
            keys.setUnknown(row);
            break;
        case Number:
            keys.setNumber(row, numbers[size_t(row)]);
            break;
        case Word:
            keys.setWord(row, cell(row), 1); // the codes after the numbers
            break;
        }
    }
    return keys;
}

} // namespace sorting
