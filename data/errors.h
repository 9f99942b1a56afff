#pragma once

#include "data/error.h"

#include <QString>

namespace errors {

// The French text shown for an engine error: a sentence a user understands for the
// failures he can do something about (file in use, disk full, read-only), then the
// engine's own number and description.
QString describe(const data::DbError& error);

} // namespace errors
