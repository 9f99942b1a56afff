#pragma once

class QApplication;
class QFont;
class QIcon;
class QLineEdit;
class QWidget;

// What every window shares in how it looks and answers the keyboard.
namespace appearance {

// Qt's own texts in French ("Annuler", "Oui", file errors), French as the default locale
// whatever LANG says, and the logo as every window's icon.
void setupApplication(QApplication& app);

// The logo, with a double-size picture for high-DPI screens.
QIcon logoIcon();

// Enter on a focused button presses it, as Space does; Tab skips the boxes the user cannot
// type into; an editable list offers its entries without ever replacing what is typed, and
// a click on a button while they are offered presses the button.
// Run once a window's controls exist.
void makeKeyboardFriendly(QWidget* window);

// A box that shows money: right-aligned, and wide enough for "-999 999 999,99 €" whole.
void showsMoney(QLineEdit* box);

// The width a money amount of the ledger needs at most in that font, without margins.
int widestMoney(const QFont& font);

} // namespace appearance
