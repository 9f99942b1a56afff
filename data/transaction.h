#pragma once

#include "data/database.h"

namespace data {

// A write transaction that rolls back unless committed. It takes the write lock at once
// (BEGIN IMMEDIATE): a deferred BEGIN could fail on its first write when another program
// holds the file, after the handler had already shown half its work.
// Begun while another is open on the connection, it joins that one: a write made of two
// writes (a win that cashes a bet) commits or rolls back as one, by the outer transaction.
class Transaction {
public:
    explicit Transaction(const Database& db) : m_db(db), m_joined(inTransaction(db)) {
        if (!m_joined)
            m_db.exec(QStringLiteral("BEGIN IMMEDIATE"));
    }
    ~Transaction() {
        if (!m_done && !m_joined) {
            try {
                m_db.exec(QStringLiteral("ROLLBACK"));
            } catch (const DbError&) {
                // The engine already rolled back (a full disk, an I/O error).
            }
        }
    }
    void commit() {
        if (!m_joined)
            m_db.exec(QStringLiteral("COMMIT"));
        m_done = true;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    static bool inTransaction(const Database& db);
    const Database& m_db;
    bool m_joined = false;
    bool m_done = false;
};

} // namespace data
