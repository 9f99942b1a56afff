// Must not link: a widget header reached through Qt's base include folder still finds no
// Widgets library below the GUI layer.
#include <QtWidgets/QWidget>

int main() {
    QWidget window;
    return 0;
}
