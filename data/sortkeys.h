#pragma once

#include "data/regional.h"

#include <QCollator>
#include <QHash>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>
#include <vector>

// How every list of the program sorts by a column: the rows' keys are made once from the
// cells, then rows are compared by their keys, never by their texts. Qt Core only: the
// figures sort their groups with it, and gui/sortproxy.h puts it under a view.
namespace sorting {

// The sort keys of one column, one per row. Rows compare by, in turn:
//  - whether the cell is unknown (an empty cell, "NonConnu"): unknown cells are the smallest
//    values, first in an ascending order and last in a descending one;
//  - their group: groups keep their order whichever the direction, so that a column of
//    places shows its numbers first and its codes ("DAI", "NP") after them both ways;
//  - their number, then their word (in the collator's order), in the direction of the sort;
//  - their tie-break word, always in ascending order: equal figures stay in their names'
//    order whichever the direction.
// Rows equal in all of these keep their previous order.
class ColumnKeys {
public:
    explicit ColumnKeys(int rows, QCollator collator = regional::frenchCollator());

    int rowCount() const { return int(m_keys.size()); }
    void setUnknown(int row);
    void setNumber(int row, double number, int group = 0);
    void setWord(int row, QStringView word, int group = 0);
    void setTieBreak(int row, QStringView word);

    // Ranks the words: done once every key is set, before any comparison. Sorting does it.
    void finish();
    // Whether `a` comes before `b` when the column is sorted in `order`.
    bool before(int a, int b, Qt::SortOrder order) const {
        const Key& x = m_keys[size_t(a)];
        const Key& y = m_keys[size_t(b)];
        const bool ascending = order == Qt::AscendingOrder;
        if (x.unknown != y.unknown)
            return ascending == x.unknown;
        if (x.group != y.group)
            return x.group < y.group;
        if (x.number != y.number)
            return ascending ? x.number < y.number : y.number < x.number;
        if (x.word != y.word)
            return ascending ? x.word < y.word : y.word < x.word;
        return x.tie < y.tie;
    }
    // The rows in sorted order, equal rows in their present order; for a model that sorts
    // itself.
    std::vector<int> order(Qt::SortOrder order);

private:
    // Words are numbered as they come, then replaced by their rank in the collator's order.
    int wordNumber(QStringView word);

    struct Key {
        bool unknown = false;
        int group = 0;
        double number = 0;
        int word = -1;
        int tie = -1;
    };
    std::vector<Key> m_keys;
    QCollator m_collator;
    // Each distinct text once: a column repeats its words (goings, race types) many times.
    QHash<QString, int> m_numbers;
    std::vector<QString> m_words;
    bool m_finished = false;
};

// The keys of a column of texts as the lists show them: a column of dates ("dd/MM/yyyy",
// with an optional " HH:MM") sorts by the calendar, a column of numbers (decimal comma or
// point) by value, any other as words. A column mostly of numbers sorts its numbers by value
// and puts its other texts after them, whichever the direction; a column of words with the
// odd number in it stays a column of words, its empty cells among them. `cell` gives a row's
// text, which must stay valid until the keys are made.
ColumnKeys textKeys(int rows, const std::function<QStringView(int row)>& cell);

} // namespace sorting
