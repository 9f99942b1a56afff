#include "gui/errorbox.h"

#include "gui/dialogs.h"

namespace errors {

void showDbError(QWidget* parent, const data::DbError& error, const QString& title) {
    dialogs::message(parent, describe(error), title, dialogs::Buttons::Ok,
                     dialogs::Icon::Exclamation);
}

} // namespace errors
