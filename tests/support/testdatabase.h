#pragma once

#include "data/database.h"

#include <QTemporaryDir>
#include <QVariantList>
#include <memory>

// A fresh program folder holding a new velmora.mdb made by the same code as
// "velmora-db init", with the shared connection opened on it.
class TestDatabase {
public:
    // The program's folder is a new temporary folder, or a folder of that name inside one.
    explicit TestDatabase(const QString& folderName = QString());
    ~TestDatabase();

    QString folder() const { return m_folder; }
    QString file() const;
    const std::shared_ptr<data::Database>& db() const;

    void exec(const QString& sql, const QVariantList& params = {}) const;
    QVariant scalar(const QString& sql, const QVariantList& params = {}) const;

private:
    QTemporaryDir m_dir;
    QString m_folder;
};
