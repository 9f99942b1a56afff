// Writing a table of runners: one transaction, checked binds and steps, French messages.
#include "tools/import_writer.h"

#include <QSet>
#include <limits>
#include <sqlite3.h>

namespace importer {

std::string_view columnText(sqlite3_stmt* query, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query, column));
    return text ? std::string_view(text, size_t(sqlite3_column_bytes(query, column)))
                : std::string_view();
}

Query::~Query() {
    sqlite3_finalize(statement);
}

QString engineResultInWords(int code) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("le fichier est utilisé par un autre programme ; réessayez");
    case SQLITE_FULL:
        return QStringLiteral("le disque est plein ; libérez de la place puis réessayez");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("le fichier ne peut pas être modifié (lecture seule ?)");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("le fichier est endommagé ; velmora-db check en dit plus");
    case SQLITE_NOMEM:
        return QStringLiteral("mémoire insuffisante");
    case SQLITE_IOERR:
        return QStringLiteral("erreur de lecture ou d'écriture sur le disque");
    case SQLITE_CANTOPEN:
        return QStringLiteral("le fichier ne peut pas être ouvert (droits d'accès ?)");
    case SQLITE_CONSTRAINT:
        return QStringLiteral("une règle ajoutée au fichier (index unique, contrainte) refuse "
                              "la ligne ; retirez-la du fichier ou cette règle de la base");
    case SQLITE_TOOBIG:
        return QStringLiteral("valeur trop grande pour la base");
    case SQLITE_SCHEMA:
        return QStringLiteral("la structure du fichier a changé pendant l'import ; "
                              "recommencez");
    case SQLITE_ERROR:
        return QStringLiteral("le fichier n'a pas la forme attendue (table ou index modifié "
                              "à la main)");
    default:
        return QStringLiteral("erreur n° %1 du moteur de base de données").arg(code & 0xff);
    }
}

void RunnerLines::set(qint64 rowid, qint64 line) {
    if (rowid > 0 && rowid < kDense && line <= std::numeric_limits<uint32_t>::max()) {
        if (size_t(rowid) >= m_dense.size())
            m_dense.resize(size_t(rowid) + 1);
        m_dense[size_t(rowid)] = static_cast<uint32_t>(line);
        return;
    }
    m_sparse[rowid] = line;
}

qint64 RunnerLines::get(qint64 rowid) const {
    if (rowid > 0 && size_t(rowid) < m_dense.size() && m_dense[size_t(rowid)] > 0)
        return m_dense[size_t(rowid)];
    const auto found = m_sparse.find(rowid);
    return found == m_sparse.end() ? 0 : found->second;
}

TableWriter::TableWriter(sqlite3* db, const Table& table, const Options& options, QTextStream& err)
    : m_db(db), m_table(table), m_all([&table] {
          std::vector<int> all(size_t(table.columnCount));
          for (int c = 0; c < table.columnCount; ++c)
              all[size_t(c)] = c;
          return all;
      }()),
      m_options(options), m_err(err) {}

TableWriter::~TableWriter() = default;

void TableWriter::own(std::initializer_list<sqlite3_stmt**> statements) {
    m_statements.insert(m_statements.end(), statements);
}

void TableWriter::finalizeStatements() {
    for (sqlite3_stmt** s : m_statements) {
        sqlite3_finalize(*s);
        *s = nullptr;
    }
}

bool TableWriter::startTransaction() {
    const int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return fail(rc, QStringLiteral("début de l'import"));
    m_open = true;
    if (!m_options.atBegin)
        return true;
    const Options::Within within = m_options.atBegin();
    if (!within.failure.isEmpty()) {
        m_failure = within.failure;
        return false;
    }
    m_changed = m_changed || within.wrote;
    return true;
}

bool TableWriter::fail(int code, const QString& what) {
    const char* file = sqlite3_db_filename(m_db, "main");
    // A statement the engine cannot make sense of: most likely a table edited by hand that
    // lacks columns, which are then named.
    const QStringList missing = (code & 0xff) == SQLITE_ERROR ? missingColumns() : QStringList();
    if (!missing.isEmpty()) {
        m_failure = QStringLiteral("%1 : la table %2 n'a pas la ou les colonnes %3 ; ce fichier "
                                   "a été modifié à la main, restaurez-en une copie")
                        .arg(QString::fromUtf8(file ? file : ""), QLatin1String(m_table.name),
                             missing.join(QStringLiteral(", ")));
        return false;
    }
    QString text = engineResultInWords(code);
    if (!what.isEmpty() && (code & 0xff) != SQLITE_BUSY && (code & 0xff) != SQLITE_LOCKED)
        text = QStringLiteral("%1 : %2").arg(what, text);
    if (m_options.verbose)
        text += QStringLiteral(" (SQLite, code %1 : %2)")
                    .arg(code)
                    .arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    m_failure = QStringLiteral("%1 : %2").arg(QString::fromUtf8(file ? file : ""), text);
    return false;
}

// The columns a table edited by hand lacks, "« cheval »", from the file's own description.
QStringList TableWriter::missingColumns() const {
    Query query;
    int rc = sqlite3_prepare_v2(m_db, "SELECT name FROM pragma_table_info(?1)", -1,
                                &query.statement, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_bind_text(query.statement, 1, m_table.name, -1, SQLITE_STATIC);
    QSet<QString> present;
    while (rc == SQLITE_OK && (rc = sqlite3_step(query.statement)) == SQLITE_ROW) {
        const std::string_view name = columnText(query.statement, 0);
        present.insert(QString::fromUtf8(name.data(), qsizetype(name.size())).toLower());
        rc = SQLITE_OK;
    }
    QStringList missing;
    // A table that is not there at all lacks no column: the engine's words say it better.
    if (rc != SQLITE_DONE || present.isEmpty())
        return missing;
    for (int c = 0; c < m_table.columnCount; ++c)
        if (!present.contains(QString::fromLatin1(m_table.column(c).name).toLower()))
            missing << QStringLiteral("« %1 »").arg(QLatin1String(m_table.column(c).name));
    return missing;
}

bool TableWriter::exec(const char* sql, const QString& what) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    return rc == SQLITE_OK || fail(rc, what);
}

bool TableWriter::prepare(const std::string& sql, sqlite3_stmt** statement) {
    const int rc = sqlite3_prepare_v2(m_db, sql.c_str(), -1, statement, nullptr);
    return rc == SQLITE_OK || fail(rc, QStringLiteral("préparation de l'écriture dans %1")
                                           .arg(QLatin1String(m_table.name)));
}

bool TableWriter::run(sqlite3_stmt* statement, const QString& what) {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    return rc == SQLITE_DONE || fail(rc, what);
}

bool TableWriter::bindValues(sqlite3_stmt* statement, const ConvertedRow& row,
                             const std::vector<int>& columns, int first) {
    for (size_t i = 0; i < columns.size(); ++i) {
        const int c = columns[i];
        const int index = first + int(i);
        const Value& v = row.values[static_cast<size_t>(c)];
        int rc = SQLITE_OK;
        switch (v.type) {
        case Value::Null:
            rc = sqlite3_bind_null(statement, index);
            break;
        case Value::Integer:
            rc = sqlite3_bind_int64(statement, index, v.integer);
            break;
        case Value::Real:
            rc = sqlite3_bind_double(statement, index, v.real);
            break;
        case Value::Text: {
            // The row outlives the step: no copy by the engine.
            const std::string_view text = row.text(c);
            rc = sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                   SQLITE_STATIC);
            break;
        }
        }
        if (rc != SQLITE_OK)
            return fail(rc, QStringLiteral("écriture dans %1").arg(QLatin1String(m_table.name)));
    }
    return true;
}

std::string TableWriter::differsQuery(const std::vector<int>& columns) const {
    std::string differs = "SELECT 1 FROM " + std::string(m_table.name) + " WHERE rowid = ?1 AND (";
    for (size_t i = 0; i < columns.size(); ++i)
        differs += (i ? " OR [" : "[") + std::string(m_table.column(columns[i]).name) +
                   "] IS NOT ?" + std::to_string(i + 2) + " COLLATE BINARY";
    return differs + ")";
}

QString TableWriter::writingLine(qint64 line) const {
    return QStringLiteral("écriture de la ligne %1 dans %2")
        .arg(line)
        .arg(QLatin1String(m_table.name));
}

int TableWriter::storedDiffers(sqlite3_stmt* differs, qint64 rowid, const ConvertedRow& row,
                               const std::vector<int>& columns) {
    if (!differs)
        return 0;
    if (sqlite3_bind_int64(differs, 1, rowid) != SQLITE_OK || !bindValues(differs, row, columns, 2))
        return -1;
    const int rc = sqlite3_step(differs);
    sqlite3_reset(differs);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        fail(rc, QStringLiteral("lecture des partants déjà présents"));
        return -1;
    }
    return rc == SQLITE_ROW ? 1 : 0;
}

std::optional<bool> TableWriter::insertRow(sqlite3_stmt* insert, const ConvertedRow& row,
                                           qint64 line) {
    if (!bindValues(insert, row, m_all, 1))
        return std::nullopt;
    const int rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    if (rc != SQLITE_DONE) {
        fail(rc, writingLine(line));
        return std::nullopt;
    }
    if (sqlite3_changes(m_db) == 0)
        return false;
    m_lines.set(sqlite3_last_insert_rowid(m_db), line);
    m_changed = true;
    return true;
}

bool TableWriter::commit() {
    finalizeStatements();
    if (!beforeCommit() || !exec("COMMIT", QStringLiteral("enregistrement de l'import"))) {
        rollback();
        return false;
    }
    m_open = false;
    ended();
    for (const QString& note : m_notes)
        m_err << "velmora-db: " << note << '\n';
    return true;
}

void TableWriter::rollback() {
    finalizeStatements();
    if (m_open && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_open = false;
    ended();
}

} // namespace importer
