#include "tests/support/testwindows.h"

#include <QApplication>
#include <QWidget>

namespace testfiles {

void closeAllWindows() {
    for (QWidget* w : QApplication::topLevelWidgets())
        w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace testfiles
