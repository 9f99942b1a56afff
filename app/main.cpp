#include "app/frmsplash.h"
#include "data/connection.h"
#include "gui/appearance.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    appearance::setupApplication(app);
    if (const int status = startProgram())
        return status;
    const int status = QApplication::exec();
    // The connection must go while Qt's SQL layer is still alive.
    Connexion.reset();
    return status;
}
