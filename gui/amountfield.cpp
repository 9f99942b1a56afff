#include "gui/amountfield.h"

#include "gui/dialogs.h"

#include <QLineEdit>

namespace amountfield {

bool readOptional(QWidget* parent, QLineEdit* field,
                  regional::TypedAmount (*read)(const QString&), std::optional<Money>& amount) {
    amount.reset();
    if (field->text().trimmed().isEmpty())
        return true;
    const regional::TypedAmount typed = read(field->text());
    if (!typed.value) {
        dialogs::message(parent, regional::amountErrorText(typed.error),
                         QStringLiteral("Erreur montant"), dialogs::Buttons::Ok,
                         dialogs::Icon::Exclamation);
        field->setFocus();
        field->selectAll();
        return false;
    }
    amount = typed.value;
    return true;
}

} // namespace amountfield
