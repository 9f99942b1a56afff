#include "app/connection.h"

#include "app/paths.h"
#include "data/schema.h"

std::shared_ptr<data::Database> Connexion;
QString ChevalPreselection;

void OuvrirConnexion() {
    Connexion = data::schema::openFile(paths::databaseFile());
}
