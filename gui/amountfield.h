#pragma once

#include "data/money.h"
#include "data/regional.h"

#include <optional>

class QLineEdit;
class QWidget;

namespace amountfield {

// An optional amount typed in `field`, read by `read` (regional::readAmount, or
// readPositiveAmount): nothing for an empty box. A wrong amount is told in a box ("Erreur
// montant"), the field selected for the correction, and false returned.
bool readOptional(QWidget* parent, QLineEdit* field,
                  regional::TypedAmount (*read)(const QString&), std::optional<Money>& amount);

} // namespace amountfield
