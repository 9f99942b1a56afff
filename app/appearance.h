#pragma once

class QApplication;
class QIcon;
class QWidget;

// What every window shares in how it looks and answers the keyboard.
namespace appearance {

// Qt's own texts in French ("Annuler", "Oui", file errors), French as the default locale
// whatever LANG says, and the logo as every window's icon.
void setupApplication(QApplication& app);

// The logo, with a double-size picture for high-DPI screens.
QIcon logoIcon();

// Enter on a focused button presses it, as Space does; Tab skips the boxes the user cannot
// type into; an editable list offers its entries without ever replacing what is typed.
// Run once a window's controls exist.
void makeKeyboardFriendly(QWidget* window);

} // namespace appearance
