#pragma once

#include <QDialogButtonBox>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// Types text into a widget key by key, as QTest::keyClicks does, accented letters included
// (keyClicks only knows ASCII).
void typeKeys(QWidget* widget, const QString& text);

// Answers the next real QMessageBox or QInputDialog as a person would: once it shows, the
// text is typed key by key and the button clicked with the mouse. Nothing is scripted below
// the dialogs seam, so the button mapping, the focus and the translation all run.
class RealDialogs {
public:
    RealDialogs();

    // Queue: click `button` on the next box.
    void click(QDialogButtonBox::StandardButton button);
    // Queue: type `text` into the next input box, then click `button` (OK by default).
    void type(const QString& text, QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok);
    // Queue: type `path` over the name proposed by the next file dialog (Qt's own), then click
    // `button`. Its seen text is the path it proposed: its folder and the name in its box.
    // The path must not exist yet: Qt would ask before replacing it.
    void saveAs(const QString& path,
                QDialogButtonBox::StandardButton button = QDialogButtonBox::Save);

    // What each answered box showed: its title, its text or prompt, and its buttons' texts.
    struct Seen {
        QString title;
        QString text;
        QStringList buttons;
        QString held; // the text an input box opened with
    };
    const QList<Seen>& seen() const { return m_seen; }
    bool allAnswered() const { return m_pending.isEmpty(); }

private:
    void answerOpenBox();

    struct Step {
        QString typed;
        bool input = false;
        QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok;
    };
    QList<Step> m_pending;
    // Owns the timers' connections: a timer still due when this goes never fires.
    QObject m_timers;
    QList<Seen> m_seen;
};
