#include "ledger/statementmodel.h"

#include "data/regional.h"
#include "gui/colours.h"

namespace {

// Stakes and a negative balance in red, wins in green, credits in black.
using colours::kBlack;
using colours::kGreen;
using colours::kRed;

enum Column { Date, Type, Cheval, Mise, Gain, Solde, Etat };

} // namespace

StatementModel::StatementModel(QObject* parent) : QAbstractTableModel(parent) {
    setBaseFont(QFont());
}

const char* StatementModel::header(int column) {
    static const char* const headers[kColumns] = {"date", "Type de jeu", "cheval", "Mise",
                                                  "Gain", "Solde",       "État"};
    return headers[column];
}

Qt::Alignment StatementModel::alignment(int column) {
    switch (column) {
    case Type:
    case Etat:
        return Qt::AlignHCenter;
    case Mise:
    case Gain:
    case Solde:
        return Qt::AlignRight;
    default:
        return Qt::AlignLeft;
    }
}

void StatementModel::setBaseFont(const QFont& font) {
    for (int i = 0; i < 4; ++i) {
        m_fonts[i] = font;
        m_fonts[i].setBold(i & 1);
        m_fonts[i].setItalic(i & 2);
    }
}

void StatementModel::setStatement(const ledger::MonthStatement& statement) {
    beginResetModel();
    m_lines = statement.lines;
    endResetModel();
}

void StatementModel::clear() {
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

int StatementModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

int StatementModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant StatementModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_lines.size())
        return QVariant();
    const ledger::StatementLine& line = m_lines.at(index.row());
    const int column = index.column();
    // A stake or win of 0 leaves its cell empty and plain.
    const bool shown =
        (column != Mise || !line.mise.isZero()) && (column != Gain || !line.gain.isZero());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Date:
            return line.jour;
        case Type:
            return line.type;
        case Cheval:
            return line.cheval;
        case Mise:
            return shown ? regional::formatMoney(line.mise) : QString();
        case Gain:
            return shown ? regional::formatMoney(line.gain) : QString();
        case Solde:
            return line.solde ? regional::formatMoney(*line.solde) : QString();
        case Etat:
            return line.etat;
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        return QVariant(alignment(column) | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        // Why a line is in italics: the line that reverses it, or the one it reverses.
        return line.remarque.isEmpty() ? QVariant() : QVariant(line.remarque);
    case Qt::ForegroundRole:
        if (column == Mise && shown)
            return kRed;
        if (column == Gain && shown)
            return line.credit ? kBlack : kGreen;
        return QVariant();
    case Qt::FontRole: {
        // Amounts in bold; a reversed line and its reversal in italics.
        const bool bold = column == Solde || ((column == Mise || column == Gain) && shown);
        if (!bold && !line.reversal)
            return QVariant();
        return m_fonts[(bold ? 1 : 0) | (line.reversal ? 2 : 0)];
    }
    default:
        return QVariant();
    }
}

QVariant StatementModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(header(section));
    if (role == Qt::TextAlignmentRole)
        return QVariant(alignment(section) | Qt::AlignVCenter);
    return QVariant();
}
