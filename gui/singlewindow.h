#pragma once

#include <QPointer>
#include <QWidget>

// Windows of which the program opens one at most: a second request brings the open one
// forward rather than opening another.
namespace singlewindow {

// The open window of its kind, or null once it is closed.
template <class Window> QPointer<Window>& open() {
    static QPointer<Window> window;
    return window;
}

// The open window of its kind, made when there is none.
template <class Window> Window* get() {
    QPointer<Window>& window = open<Window>();
    if (!window)
        window = new Window();
    return window;
}

inline void bringForward(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace singlewindow
