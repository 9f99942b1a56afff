// Must not build: the domain layer has no widgets.
#include <QWidget>

int main() {
    QWidget window;
    return 0;
}
