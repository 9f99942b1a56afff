#pragma once

#include "gui/dialogs.h"

#include <QQueue>
#include <QString>
#include <QVector>

// Answers the program's message and input boxes from a script and records what was shown.
// A box the script did not expect fails the running test at once (nothing ever waits for a
// person).
class ScriptedDialogs {
public:
    struct Shown {
        bool input = false;
        QString text; // message text, or input prompt
        QString title;
        dialogs::Buttons buttons = dialogs::Buttons::Ok;
        dialogs::Icon icon = dialogs::Icon::None;
        QString defaultText; // what an input box held when it opened
    };

    ScriptedDialogs();  // installs itself
    ~ScriptedDialogs(); // puts the real dialogs back

    // Queue the answer of the next message box.
    void answer(dialogs::Answer answer);
    // Queue the text typed into the next input box, or its cancellation.
    void type(const QString& text);
    void cancel();

    const QVector<Shown>& shown() const { return m_shown; }
    const Shown& last() const { return m_shown.last(); }
    void clear() { m_shown.clear(); }
    bool allUsed() const { return m_script.isEmpty(); }
    // Boxes the script does not expect are answered as if closed, instead of failing: for
    // runs over random input, where which boxes show cannot be told in advance.
    void answerAnyBox() { m_anyBox = true; }

private:
    friend class ScriptedBackend;
    struct Step {
        bool input = false;
        dialogs::Answer answer = dialogs::Answer::Ok;
        std::optional<QString> text;
    };
    QQueue<Step> m_script;
    QVector<Shown> m_shown;
    bool m_anyBox = false;
};
