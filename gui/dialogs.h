#pragma once

#include <QString>
#include <memory>
#include <optional>

class QWidget;

// Every message box and input box of the program goes through here, so that tests can
// answer them from a script instead of a person.
namespace dialogs {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Exclamation, Critical, Question };
enum class Answer { Ok, Cancel, Yes, No };

class Backend {
public:
    virtual ~Backend() = default;
    virtual Answer message(QWidget* parent, const QString& text, const QString& title,
                           Buttons buttons, Icon icon) = 0;
    // The text typed, or nothing when the user cancels. The box opens with defaultText.
    virtual std::optional<QString> input(QWidget* parent, const QString& prompt,
                                         const QString& title, const QString& defaultText) = 0;
    // The path chosen, or nothing when the user cancels.
    virtual std::optional<QString> saveFile(QWidget* parent, const QString& title,
                                            const QString& defaultPath, const QString& filter) = 0;
};

// Shows a message box and returns the button pressed.
Answer message(QWidget* parent, const QString& text, const QString& title,
               Buttons buttons = Buttons::Ok, Icon icon = Icon::None);

// Shows an input box holding defaultText, empty unless given.
std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& title,
                             const QString& defaultText = QString());

// The answer a box gives when it is closed without a button (Escape, the title bar's close
// button): its most cautious one.
Answer closedAnswer(Buttons buttons);

// Asks where to write a file; defaultPath is the folder and name proposed, filter the
// dialog's file-type filter ("Fichiers CSV (*.csv)").
std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& defaultPath,
                                const QString& filter);

// The title the old program gave to boxes that name no title of their own.
QString applicationTitle();

// Replaces the backend (tests); passing nullptr restores the real dialogs.
void setBackend(std::unique_ptr<Backend> backend);

} // namespace dialogs
