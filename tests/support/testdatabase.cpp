#include "tests/support/testdatabase.h"

#include "data/connection.h"
#include "data/paths.h"
#include "data/schema.h"

TestDatabase::TestDatabase() {
    paths::setProgramFolder(m_dir.path());
    data::schema::createFile(file());
    OuvrirConnexion();
}

TestDatabase::~TestDatabase() {
    Connexion.reset();
    paths::setProgramFolder(QString());
}

QString TestDatabase::file() const {
    return m_dir.filePath(QStringLiteral("velmora.mdb"));
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
