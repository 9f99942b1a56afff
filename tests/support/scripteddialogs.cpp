#include "tests/support/scripteddialogs.h"

#include <QTest>

class ScriptedBackend : public dialogs::Backend {
public:
    explicit ScriptedBackend(ScriptedDialogs& owner) : m_owner(owner) {}

    dialogs::Answer message(QWidget*, const QString& text, const QString& title,
                            dialogs::Buttons buttons, dialogs::Icon icon) override {
        m_owner.m_shown.push_back({false, text, title, buttons, icon, QString()});
        if (m_owner.m_script.isEmpty() || m_owner.m_script.head().input) {
            if (m_owner.m_anyBox)
                return dialogs::closedAnswer(buttons);
            QTest::qFail(
                qPrintable(QStringLiteral("unexpected message box: %1 / %2").arg(title, text)),
                __FILE__, __LINE__);
            return dialogs::closedAnswer(buttons);
        }
        return m_owner.m_script.dequeue().answer;
    }

    std::optional<QString> input(QWidget*, const QString& prompt, const QString& title,
                                 const QString& defaultText) override {
        m_owner.m_shown.push_back(
            {true, prompt, title, dialogs::Buttons::OkCancel, dialogs::Icon::None, defaultText});
        if (m_owner.m_script.isEmpty() || !m_owner.m_script.head().input) {
            if (m_owner.m_anyBox)
                return std::nullopt;
            QTest::qFail(
                qPrintable(QStringLiteral("unexpected input box: %1 / %2").arg(title, prompt)),
                __FILE__, __LINE__);
            return std::nullopt;
        }
        return m_owner.m_script.dequeue().text;
    }

    // A file question is answered like an input box: the path typed, or cancel. Its proposed
    // path is recorded as the text shown.
    std::optional<QString> saveFile(QWidget* parent, const QString& title,
                                    const QString& defaultPath, const QString&) override {
        return input(parent, defaultPath, title, QString());
    }

private:
    ScriptedDialogs& m_owner;
};

ScriptedDialogs::ScriptedDialogs() {
    dialogs::setBackend(std::make_unique<ScriptedBackend>(*this));
}

ScriptedDialogs::~ScriptedDialogs() {
    dialogs::setBackend(nullptr);
}

void ScriptedDialogs::answer(dialogs::Answer answer) {
    m_script.enqueue({false, answer, {}});
}

void ScriptedDialogs::type(const QString& text) {
    m_script.enqueue({true, dialogs::Answer::Ok, text});
}

void ScriptedDialogs::cancel() {
    m_script.enqueue({true, dialogs::Answer::Cancel, {}});
}
