#pragma once

#include "data/database.h"

namespace data {

// A write transaction that rolls back unless committed. It takes the write lock at once
// (BEGIN IMMEDIATE): a deferred BEGIN could fail on its first write when another program
// holds the file, after the handler had already shown half its work.
class Transaction {
public:
    explicit Transaction(const Database& db) : m_db(db) {
        m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~Transaction() {
        if (!m_done) {
            try {
                m_db.exec(QStringLiteral("ROLLBACK"));
            } catch (const DbError&) {
                // The engine already rolled back (a full disk, an I/O error).
            }
        }
    }
    void commit() {
        m_db.exec(QStringLiteral("COMMIT"));
        m_done = true;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    const Database& m_db;
    bool m_done = false;
};

} // namespace data
