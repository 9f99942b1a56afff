#include "app/frmsplash.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    if (const int status = startProgram())
        return status;
    return QApplication::exec();
}
