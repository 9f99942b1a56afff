#pragma once

#include "data/error.h"

#include <QString>

namespace errors {

// The engine's number and its own description, as every message of the program gives them
// ("Erreur n° 5 : database is locked"); the number alone when the engine said nothing.
QString engineWords(int code, const QString& engineText);

// The French text shown for an engine error: a sentence a user understands for the
// failures he can do something about (file in use, disk full, read-only), then the
// engine's own number and description. A file that could not be taken into use is named,
// with the reason, instead of the sentence.
QString describe(const data::DbError& error);

} // namespace errors
