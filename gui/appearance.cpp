#include "gui/appearance.h"

#include "data/regional.h"
#include "gui/panelcache.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTranslator>

// Resources compiled into a static library are only found once registered, and the macro
// must stand outside any namespace.
static void registerResources() {
    Q_INIT_RESOURCE(app);
}

namespace appearance {
namespace {

// A completion list opens below its field, over whatever is there: under the horse box, the
// record buttons. A press outside an open list closes it, and Qt's completer swallows the
// press: the button the user aimed at would need a second click, and a punter who clicks
// "Enregistrer la mise" once believes his stake recorded. Here a list that would hide a
// button of its window opens above its field instead, and a press on a button while the
// list is open closes the list and clicks the button.
class ClickThroughPopup : public QObject {
public:
    ClickThroughPopup(QWidget* field, QObject* parent) : QObject(parent), m_field(field) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* popup = static_cast<QWidget*>(watched);
        // The completer places the list again at each key typed.
        if (event->type() == QEvent::Show || event->type() == QEvent::Move ||
            event->type() == QEvent::Resize) {
            keepButtonsInSight(popup);
            return false;
        }
        if (event->type() == QEvent::KeyPress)
            return enterTypedText(popup, static_cast<QKeyEvent*>(event));
        if (event->type() != QEvent::MouseButtonPress)
            return false;
        const auto* press = static_cast<QMouseEvent*>(event);
        const QPoint global = press->globalPosition().toPoint();
        if (popup->rect().contains(popup->mapFromGlobal(global)))
            return false;
        popup->hide();
        QPointer<QAbstractButton> button =
            qobject_cast<QAbstractButton*>(QApplication::widgetAt(global));
        if (button && button->isEnabled() && press->button() == Qt::LeftButton)
            QTimer::singleShot(0, button, [button] {
                if (button && button->isEnabled())
                    button->click();
            });
        return true;
    }

private:
    // Enter on an open list with no entry chosen only closes the list in Qt: a player typed
    // whole and confirmed would need a second Enter. The field takes the key as if the list
    // were closed.
    bool enterTypedText(QWidget* popup, QKeyEvent* key) const {
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if (!m_field || static_cast<QAbstractItemView*>(popup)->currentIndex().isValid())
            return false;
        popup->hide();
        QCoreApplication::sendEvent(m_field, key);
        return true;
    }

    void keepButtonsInSight(QWidget* popup) const {
        if (!m_field)
            return;
        const QRect below = popup->frameGeometry();
        for (const QAbstractButton* button : m_field->window()->findChildren<QAbstractButton*>()) {
            if (!button->isVisible() || m_field->isAncestorOf(button))
                continue;
            const QRect place(button->mapToGlobal(QPoint(0, 0)), button->size());
            if (place.intersects(below)) {
                const int top = m_field->mapToGlobal(QPoint(0, 0)).y() - below.height();
                if (top >= 0)
                    popup->move(below.x(), top);
                return;
            }
        }
    }

    QPointer<QWidget> m_field;
};

} // namespace

void setupApplication(QApplication& app) {
    registerResources();
    // The platform's style, its text box frames copied rather than drawn again.
    QApplication::setStyle(new PanelCacheStyle(QApplication::style()->name()));
    QLocale::setDefault(regional::frenchLocale());
    // Owned by the application, so it lives exactly as long as the texts it translates.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    else
        delete translator; // English buttons, still usable
    // Decoding the pictures would hold up the first window; the icon follows a moment later.
    QTimer::singleShot(0, &app, [] { QApplication::setWindowIcon(logoIcon()); });
}

QIcon logoIcon() {
    registerResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/velmora/logo.png"));
    icon.addFile(QStringLiteral(":/velmora/logo@2x.png"));
    return icon;
}

void makeKeyboardFriendly(QWidget* window) {
    for (auto* button : window->findChildren<QPushButton*>())
        button->setAutoDefault(true);
    for (auto* box : window->findChildren<QLineEdit*>()) {
        if (box->isReadOnly())
            box->setFocusPolicy(Qt::ClickFocus);
    }
    for (auto* combo : window->findChildren<QComboBox*>()) {
        if (!combo->isEditable())
            continue;
        // What is stored is what was typed: an entry of the list is offered below the
        // field and applies only when picked, and Enter never adds the text to the list.
        combo->setInsertPolicy(QComboBox::NoInsert);
        if (auto* completer = combo->completer()) {
            completer->setCompletionMode(QCompleter::PopupCompletion);
            completer->setCaseSensitivity(Qt::CaseInsensitive);
            // Installed after the completer's own filter, so it runs first.
            completer->popup()->installEventFilter(new ClickThroughPopup(combo, completer));
            // An entry taken from the completion list is a pick in the list, as one taken
            // from the drop-down is: Qt sets it without saying so.
            QObject::connect(completer, qOverload<const QString&>(&QCompleter::activated), combo,
                             [combo](const QString& text) {
                                 const int index = combo->findText(text, Qt::MatchExactly);
                                 if (index < 0)
                                     return;
                                 combo->setCurrentIndex(index);
                                 emit combo->activated(index);
                             });
        }
        // Without insertion, Qt confirms a typed entry only when it differs from the shown
        // one: the player on display, typed again after a change of month, would reload
        // nothing. An entry of the list confirmed with Enter is a pick, whatever was shown.
        QObject::connect(combo->lineEdit(), &QLineEdit::returnPressed, combo, [combo] {
            const int index = combo->findText(combo->currentText(), Qt::MatchFixedString);
            if (index < 0)
                return;
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        });
    }
}

int widestMoney(const QFont& font) {
    return QFontMetrics(font).horizontalAdvance(
        regional::formatMoney(Money::fromCents(-99999999999)));
}

void showsMoney(QLineEdit* box) {
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The text margins and frame of a line edit, as QLineEdit's own size hint counts them.
    const QMargins margins = box->textMargins();
    box->setMinimumWidth(widestMoney(box->font()) + margins.left() + margins.right() + 14);
}

} // namespace appearance
