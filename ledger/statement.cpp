#include "ledger/statement.h"

namespace ledger {

QString reversalRemark(qint64 reversedNum) {
    return QStringLiteral("annule n° %1").arg(reversedNum);
}

QString reversedByRemark(qint64 reversalNum) {
    return QStringLiteral("annulée par n° %1").arg(reversalNum);
}

bool isReversalRemark(const QString& remarque) {
    return remarque.startsWith(QStringLiteral("annule n° ")) ||
           remarque.startsWith(QStringLiteral("annulée par n° "));
}

} // namespace ledger
