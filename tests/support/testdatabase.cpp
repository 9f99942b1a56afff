#include "tests/support/testdatabase.h"

#include "data/connection.h"
#include "data/paths.h"
#include "data/schema.h"

#include <QDir>

TestDatabase::TestDatabase(const QString& folderName)
    : m_folder(folderName.isEmpty() ? m_dir.path() : m_dir.filePath(folderName)) {
    QDir().mkpath(m_folder);
    paths::setProgramFolder(m_folder);
    data::schema::createFile(file());
    OuvrirConnexion();
}

TestDatabase::~TestDatabase() {
    Connexion.reset();
    paths::setProgramFolder(QString());
}

QString TestDatabase::file() const {
    return QDir(m_folder).filePath(QStringLiteral("velmora.mdb"));
}

const std::shared_ptr<data::Database>& TestDatabase::db() const {
    return Connexion;
}

void TestDatabase::exec(const QString& sql, const QVariantList& params) const {
    Connexion->exec(sql, params);
}

QVariant TestDatabase::scalar(const QString& sql, const QVariantList& params) const {
    return Connexion->scalar(sql, params);
}
