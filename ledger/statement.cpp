#include "ledger/statement.h"

namespace ledger {

QString reversalRemark(qint64 reversedNum) {
    return QStringLiteral("annule n° %1").arg(reversedNum);
}

QString reversedByRemark(qint64 reversalNum) {
    return QStringLiteral("annulée par n° %1").arg(reversalNum);
}

bool isReversalRow(const QString& remarque) {
    return remarque.startsWith(QStringLiteral("annule n° "));
}

bool isReversedLine(const QString& remarque) {
    return remarque.startsWith(QStringLiteral("annulée par n° "));
}

bool isReversalRemark(const QString& remarque) {
    return isReversalRow(remarque) || isReversedLine(remarque);
}

} // namespace ledger
