#pragma once

#include "data/errors.h"

class QWidget;

namespace errors {

// The "Erreur" box of a handler whose write was rolled back.
void showDbError(QWidget* parent, const data::DbError& error,
                 const QString& title = QStringLiteral("Erreur"));

} // namespace errors
