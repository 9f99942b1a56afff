#include "data/connection.h"

#include "data/paths.h"
#include "data/schema.h"

std::shared_ptr<data::Database> Connexion;

void OuvrirConnexion() {
    Connexion = data::schema::openFile(paths::databaseFile());
}
