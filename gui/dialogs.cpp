#include "gui/dialogs.h"

#include <QFileDialog>
#include <QRegularExpression>
#include <QInputDialog>
#include <QMessageBox>

namespace dialogs {
namespace {

class RealBackend : public Backend {
public:
    Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons,
                   Icon icon) override {
        QMessageBox box(parent);
        box.setText(text);
        box.setWindowTitle(title);
        switch (icon) {
        case Icon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        }
        switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return closedAnswer(buttons);
        }
    }

    std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& title,
                                 const QString& defaultText) override {
        bool ok = false;
        const QString text =
            QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
        if (!ok)
            return std::nullopt;
        return text;
    }

    std::optional<QString> saveFile(QWidget* parent, const QString& title,
                                    const QString& defaultPath, const QString& filter) override {
        // Qt's own dialog, not the desktop's: the same on every system, and reachable by tests.
        QFileDialog dialog(parent, title, defaultPath, filter);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // The filter's extension is added by the dialog itself, before it checks for a file
        // in the way: "notes" asks before replacing notes.csv.
        static const QRegularExpression extension(QStringLiteral("\\(\\*\\.([^\\s;)]+)"));
        if (const auto found = extension.match(filter); found.hasMatch())
            dialog.setDefaultSuffix(found.captured(1));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }
};

std::unique_ptr<Backend>& current() {
    static std::unique_ptr<Backend> backend = std::make_unique<RealBackend>();
    return backend;
}

} // namespace

Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons,
               Icon icon) {
    return current()->message(parent, text, title, buttons, icon);
}

std::optional<QString> input(QWidget* parent, const QString& prompt, const QString& title,
                             const QString& defaultText) {
    return current()->input(parent, prompt, title, defaultText);
}

Answer closedAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
        break;
    }
    return Answer::Cancel;
}

std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& defaultPath,
                                const QString& filter) {
    return current()->saveFile(parent, title, defaultPath, filter);
}

QString applicationTitle() {
    return QStringLiteral("Velmora");
}

void setBackend(std::unique_ptr<Backend> backend) {
    current() = backend ? std::move(backend) : std::make_unique<RealBackend>();
}

} // namespace dialogs
