#include "tests/support/testfiles.h"

#include <QCryptographicHash>
#include <QFile>

namespace testfiles {

QByteArray hashOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace testfiles
