#include "app/frmsplash.h"
#include "data/connection.h"
#include "gui/appearance.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // Ties the window to its menu entry, for its icon on Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("fr.velmora.Velmora"));
    appearance::setupApplication(app);
    if (const int status = startProgram())
        return status == kAlreadyRunning ? 0 : status;
    const int status = QApplication::exec();
    // The connection must go while Qt's SQL layer is still alive.
    Connexion.reset();
    return status;
}
