#include "data/schema.h"

#include "data/regional.h"
#include "data/transaction.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTextStream>

namespace data::schema {
namespace {

// Columns stay in this order: the windows read and write them by position.
const char* const kTables[] = {
    "CREATE TABLE JEUX ("
    " Num INTEGER PRIMARY KEY AUTOINCREMENT,"
    " User TEXT COLLATE NOCASE,"
    " mois TEXT COLLATE NOCASE,"
    " Jour TEXT COLLATE NOCASE,"
    " Remarque TEXT COLLATE NOCASE,"
    " [type jeux] TEXT COLLATE NOCASE,"
    " Cheval TEXT COLLATE NOCASE,"
    " Debit REAL,"
    " Credit REAL,"
    " SoldeAvant REAL,"
    " SoldeApres REAL)",

    "CREATE TABLE USERS ("
    " Id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " pseudo TEXT COLLATE NOCASE,"
    " SoldeDepart REAL,"
    " SoldeEnCours REAL,"
    " Mois TEXT COLLATE NOCASE,"
    " UNIQUE (pseudo, Mois))",

    "CREATE TABLE TYPEJEUX ("
    " Id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " TypeJeu TEXT COLLATE NOCASE)",

    "CREATE TABLE MESSUIVITS ("
    " num INTEGER PRIMARY KEY AUTOINCREMENT,"
    " nomcheval TEXT COLLATE NOCASE,"
    " SaValeur TEXT COLLATE NOCASE,"
    " EtatTerrain TEXT COLLATE NOCASE,"
    " LaDistance TEXT COLLATE NOCASE,"
    " LaDotation TEXT COLLATE NOCASE,"
    " TypeCourse TEXT COLLATE NOCASE,"
    " SaPlace TEXT COLLATE NOCASE)",

    "CREATE TABLE COURSES ("
    " reference INTEGER,"
    " date TEXT COLLATE NOCASE,"
    " IdGeny TEXT COLLATE NOCASE)",

    // date is ISO text so that ORDER BY date is chronological; valeur is a number so that
    // valeur >= '40' compares numbers.
    "CREATE TABLE CR ("
    " date TEXT COLLATE NOCASE,"
    " hippodrome TEXT COLLATE NOCASE,"
    " R INTEGER,"
    " C INTEGER,"
    " course TEXT COLLATE NOCASE,"
    " nbPartant INTEGER,"
    " distance INTEGER,"
    " dotation REAL,"
    " dossard INTEGER,"
    " chevalMusique TEXT COLLATE NOCASE,"
    " jockey TEXT COLLATE NOCASE,"
    " statut TEXT COLLATE NOCASE,"
    " place TEXT COLLATE NOCASE,"
    " Terrain TEXT COLLATE NOCASE,"
    " Etat TEXT COLLATE NOCASE,"
    " valeur REAL,"
    " [type de course] TEXT COLLATE NOCASE,"
    " commentaire TEXT COLLATE NOCASE,"
    " cheval TEXT COLLATE NOCASE,"
    " discipline TEXT COLLATE NOCASE)",
};

// The four confirmation lists read flat races by place, race type and value: this index
// holds every column they show, so a list never visits the table itself. Flat races only,
// to keep the file small.
const char* const kConfirmationIndex =
    "CREATE INDEX CR_plat_confirmations ON CR (place, [type de course], valeur, cheval, "
    "distance, dotation, date, R, C, Etat, discipline) WHERE discipline = 'plat'";

// One row per runner (its day, without the time; racecourse and horse as the program
// compares them): the importer skips a runner it already has. tools/import_cr.cpp expects
// this exact text: a file with another one was made by an older version, whose runners the
// importer mends once (the blanks around their names) before making it again.
const char* const kRunnerIndex = "CREATE UNIQUE INDEX CR_runner ON CR (substr(date, 1, 10), "
                                 "hippodrome COLLATE NOCASE, R, C, cheval COLLATE NOCASE)";

const char* const kYearTable = "CREATE TABLE EXERCICE (annee INTEGER NOT NULL)";
// A stake that names its race: NumJeu is its JEUX.Num, NumGain the win line that cashed it.
const char* const kBetsTable =
    "CREATE TABLE PARIS (NumJeu INTEGER PRIMARY KEY, DateCourse TEXT NOT NULL, Hippodrome TEXT, "
    "R INTEGER NOT NULL, C INTEGER NOT NULL, Cote REAL, Etat TEXT NOT NULL DEFAULT 'en cours', "
    "NumGain INTEGER, Numeros TEXT, Formule TEXT, Combinaisons INTEGER, Gagnantes INTEGER, "
    "Rang TEXT)";
// What a bet on several horses adds to PARIS, for a file made before.
const char* const kMultiBetColumns[] = {"Numeros TEXT", "Formule TEXT", "Combinaisons INTEGER",
                                        "Gagnantes INTEGER", "Rang TEXT"};
// How each game type settles: a rule of the ledger's, 'à la main' for the user to settle.
const char* const kRulesTable =
    "CREATE TABLE REGLESJEUX (Type TEXT PRIMARY KEY, Regle TEXT NOT NULL)";
// The limits a player sets himself, for every month until changed: a ceiling on his stakes,
// a loss not to go beyond. NULL: no such limit.
const char* const kLimitsTable =
    "CREATE TABLE LIMITES (pseudo TEXT PRIMARY KEY COLLATE NOCASE, PlafondMises REAL, "
    "PerteMax REAL)";
// The day's card: the runners announced, one row per runner, a race replaced whole by a
// later card. Dates are ISO days, as DateCourse.
const char* const kCardTable =
    "CREATE TABLE PARTANTS (date TEXT NOT NULL, heure TEXT, hippodrome TEXT NOT NULL, R INTEGER "
    "NOT NULL, C INTEGER NOT NULL, course TEXT, nbPartant INTEGER, distance INTEGER, dotation "
    "INTEGER, discipline TEXT, [type de course] TEXT, dossard INTEGER, cheval TEXT NOT NULL, "
    "jockey TEXT, cote REAL)";
const char* const kCardIndex =
    "CREATE UNIQUE INDEX PARTANTS_partant ON PARTANTS (date, hippodrome COLLATE NOCASE, R, C, "
    "cheval COLLATE NOCASE)";

// The bets a window lists to cash: few among thousands settled.
const char* const kBetsToCashIndex =
    "CREATE INDEX PARIS_a_encaisser ON PARIS (NumJeu) WHERE NumGain IS NULL AND Etat IN "
    "('gagné', 'remboursé')";

const char* const kIndexes[] = {
    "CREATE INDEX JEUX_user_mois ON JEUX (User, mois)",
    "CREATE INDEX JEUX_user_cheval ON JEUX (User, Cheval)",
    "CREATE INDEX MESSUIVITS_nom ON MESSUIVITS (nomcheval)",
    "CREATE INDEX COURSES_reference ON COURSES (reference)",
    "CREATE INDEX CR_cheval_date ON CR (cheval, date)",
    "CREATE INDEX CR_place_discipline ON CR (place, discipline)",
    kConfirmationIndex,
    kRunnerIndex,
};

OpenError refusal(OpenError::Kind kind, int code, const QString& engine,
                  const QString& explanation) {
    return OpenError(kind, code, engine, explanation);
}

bool isJetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(20);
    return head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB";
}

OpenError classify(const QString& path, const DbError& error) {
    switch (error.code()) {
    case sqlite_code::NotADatabase:
    case sqlite_code::Corrupt:
        if (isJetFile(path))
            return refusal(OpenError::Kind::JetFile, error.code(), error.engineText(),
                           QStringLiteral("Le fichier %1 est une base Access (Jet), format de "
                                          "l'ancienne version du programme : cette version ne "
                                          "le lit pas.")
                               .arg(path));
        return refusal(OpenError::Kind::NotDatabase, error.code(), error.engineText(),
                       QStringLiteral("Le fichier %1 n'est pas une base de données lisible "
                                      "(fichier d'un autre type ou endommagé).")
                           .arg(path));
    case sqlite_code::Busy:
    case sqlite_code::Locked:
        return refusal(
            OpenError::Kind::Busy, error.code(), error.engineText(),
            QStringLiteral("Le fichier %1 est utilisé par un autre programme.").arg(path));
    case sqlite_code::CantOpen:
        if (!QFileInfo::exists(path))
            return refusal(OpenError::Kind::Missing, error.code(), error.engineText(),
                           QStringLiteral("Le fichier de données %1 est introuvable.").arg(path));
        return refusal(
            OpenError::Kind::Other, error.code(), error.engineText(),
            QStringLiteral("Le fichier %1 ne peut pas être ouvert (droits d'accès ?).").arg(path));
    default:
        return refusal(OpenError::Kind::Other, error.code(), error.engineText(),
                       QStringLiteral("Le fichier %1 ne peut pas être ouvert.").arg(path));
    }
}

} // namespace

const QStringList& tableNames() {
    static const QStringList names = {QStringLiteral("JEUX"),     QStringLiteral("USERS"),
                                      QStringLiteral("TYPEJEUX"), QStringLiteral("MESSUIVITS"),
                                      QStringLiteral("COURSES"),  QStringLiteral("CR")};
    return names;
}

const QStringList& defaultGameTypes() {
    static const QStringList types = {
        QStringLiteral("Simple Gagnant"), QStringLiteral("Simple Placé"),
        QStringLiteral("Couplé Gagnant"), QStringLiteral("Couplé Placé"),
        QStringLiteral("Couplé Ordre"),   QStringLiteral("Deux sur Quatre"),
        QStringLiteral("Trio"),           QStringLiteral("Trio Ordre"),
        QStringLiteral("Tiercé"),         QStringLiteral("Quarté+"),
        QStringLiteral("Quinté+"),        QStringLiteral("Multi"),
        QStringLiteral("Super 4"),        QStringLiteral("Pick 5")};
    return types;
}

const QVector<std::pair<QString, QString>>& defaultGameRules() {
    static const QVector<std::pair<QString, QString>> rules = {
        {QStringLiteral("Simple Gagnant"), QStringLiteral("simple gagnant")},
        {QStringLiteral("Simple Placé"), QStringLiteral("simple placé")},
        {QStringLiteral("Couplé Gagnant"), QStringLiteral("couplé gagnant")},
        {QStringLiteral("Couplé Placé"), QStringLiteral("couplé placé")},
        {QStringLiteral("Couplé Ordre"), QStringLiteral("couplé ordre")},
        {QStringLiteral("Deux sur Quatre"), QStringLiteral("deux sur quatre")},
        {QStringLiteral("Trio"), QStringLiteral("trio")},
        {QStringLiteral("Trio Ordre"), QStringLiteral("trio ordre")},
        {QStringLiteral("Tiercé"), QStringLiteral("tiercé")},
        {QStringLiteral("Quarté+"), QStringLiteral("quarté+")},
        {QStringLiteral("Quinté+"), QStringLiteral("quinté+")},
        {QStringLiteral("Multi"), QStringLiteral("multi")}};
    return rules;
}

bool hasRulesTable(const Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                    "AND name = 'REGLESJEUX' COLLATE NOCASE"))
               .toInt() > 0;
}

void createRulesTable(const Database& db) {
    db.exec(QString::fromLatin1(kRulesTable));
    for (const auto& [type, rule] : defaultGameRules())
        db.exec(QStringLiteral("INSERT INTO REGLESJEUX (Type, Regle) VALUES (?, ?)"), {type, rule});
}

bool hasLimitsTable(const Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                    "AND name = 'LIMITES' COLLATE NOCASE"))
               .toInt() > 0;
}

void createLimitsTable(const Database& db) {
    db.exec(QString::fromLatin1(kLimitsTable));
}

bool hasMultiBetColumns(const Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM pragma_table_info('PARIS') WHERE name "
                                    "= 'Numeros' COLLATE NOCASE"))
               .toInt() > 0;
}

const char* yearTable() {
    return kYearTable;
}

bool hasYearTable(const Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                    "AND name = 'EXERCICE' COLLATE NOCASE"))
               .toInt() > 0;
}

void create(const Database& db, std::optional<int> year) {
    db.exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (const char* sql : kTables)
            db.exec(QString::fromUtf8(sql));
        db.exec(QString::fromLatin1(kYearTable));
        createBetsTable(db);
        createCardTable(db);
        createRulesTable(db);
        createLimitsTable(db);
        db.exec(QStringLiteral("INSERT INTO EXERCICE (annee) VALUES (?)"),
                {year.value_or(regional::today().year())});
        for (const char* sql : kIndexes)
            db.exec(QString::fromUtf8(sql));
        for (const QString& type : defaultGameTypes())
            db.exec(QStringLiteral("INSERT INTO TYPEJEUX (TypeJeu) VALUES (?)"), {type});
        db.exec(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId));
        db.exec(QStringLiteral("PRAGMA user_version = %1").arg(kVersion));
        db.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        try {
            db.exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
        }
        throw;
    }
}

std::shared_ptr<Database> createFile(const QString& path, std::optional<int> year) {
    if (QFileInfo::exists(path))
        throw DbError(
            sqlite_code::CantOpen,
            QStringLiteral("Le fichier %1 existe déjà : il n'est pas remplacé.").arg(path));
    auto db = Database::open(path, Database::Mode::Create);
    try {
        create(*db, year);
    } catch (...) {
        db.reset();
        QFile::remove(path);
        throw;
    }
    return db;
}

namespace {

// A file made before the confirmation lists had their index gets it once, in a transaction
// of its own. A file that cannot take it now (read-only, in use) still opens; the lists are
// only slower.
void addConfirmationIndex(const Database& db, const QString& path) {
    try {
        if (db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' "
                                     "AND name = 'CR_plat_confirmations'"))
                .toInt() > 0)
            return;
        QTextStream(stderr) << "velmora : ajout de l'index des listes de confirmation à " << path
                            << "…" << Qt::endl;
        Transaction transaction(db);
        db.exec(QString::fromLatin1(kConfirmationIndex));
        transaction.commit();
    } catch (const DbError& error) {
        QTextStream(stderr) << "velmora : index des listes de confirmation non ajouté : "
                            << error.engineText() << Qt::endl;
    }
}

// A file made before bets knew their race gets the table at its first opening by this
// version, in one transaction; a file that cannot take it now is opened as it is.
void addBetsTable(const Database& db, const QString& path) {
    try {
        const bool table = hasBetsTable(db);
        // A file from the first version with bets has the table without its index.
        if (table && db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = "
                                              "'PARIS_a_encaisser'"))
                             .toInt() > 0)
            return;
        Transaction transaction(db);
        if (table)
            db.exec(QString::fromUtf8(kBetsToCashIndex));
        else
            createBetsTable(db);
        transaction.commit();
    } catch (const DbError& error) {
        QTextStream(stderr) << "velmora : table PARIS non ajoutée à " << path << " : "
                            << error.engineText() << Qt::endl;
    }
}

// The day's card, added as the bets' table is.
void addCardTable(const Database& db, const QString& path) {
    try {
        if (hasCardTable(db))
            return;
        Transaction transaction(db);
        createCardTable(db);
        transaction.commit();
    } catch (const DbError& error) {
        QTextStream(stderr) << "velmora : table PARTANTS non ajoutée à " << path << " : "
                            << error.engineText() << Qt::endl;
    }
}

// The game types' rules and the columns of bets on several horses, added together in one
// transaction; a file that cannot take them now is opened as it is, its bets on several
// horses settled by hand.
void addMultiBets(const Database& db, const QString& path) {
    try {
        const bool rules = hasRulesTable(db);
        const bool columns = !hasBetsTable(db) || hasMultiBetColumns(db);
        if (rules && columns)
            return;
        Transaction transaction(db);
        if (!rules)
            createRulesTable(db);
        if (!columns)
            for (const char* column : kMultiBetColumns)
                db.exec(QStringLiteral("ALTER TABLE PARIS ADD COLUMN ") +
                        QString::fromLatin1(column));
        transaction.commit();
    } catch (const DbError& error) {
        QTextStream(stderr) << "velmora : règles des types de jeux non ajoutées à " << path << " : "
                            << error.engineText() << Qt::endl;
    }
}

// The players' limits, for a file made before them; a file that cannot take the table now
// is opened as it is, without limits.
void addLimitsTable(const Database& db, const QString& path) {
    try {
        if (hasLimitsTable(db))
            return;
        Transaction transaction(db);
        createLimitsTable(db);
        transaction.commit();
    } catch (const DbError& error) {
        QTextStream(stderr) << "velmora : table LIMITES non ajoutée à " << path << " : "
                            << error.engineText() << Qt::endl;
    }
}

} // namespace

bool hasCardTable(const Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                    "AND name = 'PARTANTS' COLLATE NOCASE"))
               .toInt() > 0;
}

void createCardTable(const Database& db) {
    db.exec(QString::fromLatin1(kCardTable));
    db.exec(QString::fromLatin1(kCardIndex));
}

bool hasBetsTable(const Database& db) {
    return db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                    "AND name = 'PARIS' COLLATE NOCASE"))
               .toInt() > 0;
}

void createBetsTable(const Database& db) {
    db.exec(QString::fromLatin1(kBetsTable));
    db.exec(QString::fromUtf8(kBetsToCashIndex));
}

const char* confirmationIndex() {
    return kConfirmationIndex;
}

const char* runnerIndex() {
    return kRunnerIndex;
}

std::shared_ptr<Database> openFile(const QString& path) {
    std::shared_ptr<Database> db = openUnchanged(path);
    addConfirmationIndex(*db, path);
    addBetsTable(*db, path);
    addCardTable(*db, path);
    addMultiBets(*db, path);
    addLimitsTable(*db, path);
    return db;
}

namespace {

std::shared_ptr<Database> recognised(const QString& path, Database::Mode mode) {
    std::shared_ptr<Database> db;
    int applicationId = 0;
    int version = 0;
    QStringList present;
    try {
        db = Database::open(path, mode);
        // The first statement reads the file's header: a file that is not SQLite fails here.
        applicationId = db->scalar(QStringLiteral("PRAGMA application_id")).toInt();
        version = db->scalar(QStringLiteral("PRAGMA user_version")).toInt();
        QSqlQuery query =
            db->exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
        while (query.next())
            present << query.value(0).toString().toUpper();
    } catch (const DbError& error) {
        throw classify(path, error);
    }
    if (applicationId != 0 && applicationId != kApplicationId)
        throw refusal(
            OpenError::Kind::ForeignFile, sqlite_code::Error,
            QStringLiteral("application_id %1").arg(applicationId),
            QStringLiteral("Le fichier %1 appartient à une autre application.").arg(path));
    if (version > kVersion)
        throw refusal(OpenError::Kind::NewerSchema, sqlite_code::Error,
                      QStringLiteral("user_version %1").arg(version),
                      QStringLiteral("Le fichier %1 a été créé par une version plus récente du "
                                     "programme (version %2 du fichier, %3 attendue).")
                          .arg(path)
                          .arg(version)
                          .arg(kVersion));
    QStringList missing;
    for (const QString& table : tableNames())
        if (!present.contains(table))
            missing << table;
    if (!missing.isEmpty())
        throw refusal(OpenError::Kind::MissingTables, sqlite_code::Error,
                      QStringLiteral("no such table: %1").arg(missing.join(QStringLiteral(", "))),
                      QStringLiteral("Il manque au fichier %1 la ou les tables : %2.")
                          .arg(path, missing.join(QStringLiteral(", "))));
    db->exec(QStringLiteral("PRAGMA synchronous = FULL"));
    return db;
}

} // namespace

std::shared_ptr<Database> openUnchanged(const QString& path) {
    return recognised(path, Database::Mode::ReadWrite);
}

std::shared_ptr<Database> openReadOnly(const QString& path) {
    return recognised(path, Database::Mode::ReadOnly);
}

} // namespace data::schema
