#include "tests/support/realdialogs.h"

#include "gui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

void typeKeys(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

RealDialogs::RealDialogs() {
    dialogs::setBackend(nullptr);
}

void RealDialogs::click(QDialogButtonBox::StandardButton button) {
    m_pending.append({QString(), false, button});
    QTimer::singleShot(0, &m_timers, [this] { answerOpenBox(); });
}

void RealDialogs::type(const QString& text, QDialogButtonBox::StandardButton button) {
    m_pending.append({text, true, button});
    QTimer::singleShot(0, &m_timers, [this] { answerOpenBox(); });
}

void RealDialogs::saveAs(const QString& path, QDialogButtonBox::StandardButton button) {
    m_pending.append({path, true, button});
    QTimer::singleShot(0, &m_timers, [this] { answerOpenBox(); });
}

void RealDialogs::answerOpenBox() {
    // The box opens from a handler that is still running, so wait for its event loop.
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || m_pending.isEmpty()) {
        if (!m_pending.isEmpty())
            QTimer::singleShot(10, &m_timers, [this] { answerOpenBox(); });
        return;
    }
    const Step step = m_pending.takeFirst();
    Seen seen;
    seen.title = box->windowTitle();
    if (auto* message = qobject_cast<QMessageBox*>(box))
        seen.text = message->text();
    if (auto* input = qobject_cast<QInputDialog*>(box)) {
        seen.text = input->labelText();
        seen.held = input->textValue();
    }
    // The file dialog has other line edits (its folder box): the name goes into this one.
    auto* fileDialog = qobject_cast<QFileDialog*>(box);
    auto* fileName =
        fileDialog ? box->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
    if (fileName)
        seen.text = fileDialog->directory().filePath(fileName->text());
    auto* buttons = box->findChild<QDialogButtonBox*>();
    if (buttons) {
        for (auto* b : buttons->buttons())
            seen.buttons << b->text();
    }
    m_seen.append(seen);
    if (step.input) {
        auto* edit = fileName ? fileName : box->findChild<QLineEdit*>();
        if (edit) {
            edit->setFocus();
            edit->selectAll();
            typeKeys(edit, step.typed);
        }
    }
    QAbstractButton* target = buttons ? buttons->button(step.button) : nullptr;
    if (target) {
        QTest::mouseClick(target, Qt::LeftButton);
        // Typing a whole path leaves Qt's file dialog on a folder it completed on the way;
        // its first click only opens that folder (the button reads "Ouvrir"), and a person
        // clicks again.
        for (int again = 0; fileName && box->isVisible() && again < 3; ++again) {
            QTest::qWait(20);
            QTest::mouseClick(target, Qt::LeftButton);
        }
    } else {
        box->reject();
    }
    // Nor may a completion list outlive its dialog and take the next click.
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    if (!m_pending.isEmpty())
        QTimer::singleShot(0, &m_timers, [this] { answerOpenBox(); });
}
