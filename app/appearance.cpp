#include "app/appearance.h"

#include "app/panelcache.h"
#include "app/regional.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFontMetrics>
#include <QIcon>
#include <QLibraryInfo>
#include <QLineEdit>
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
        }
    }
}

int widestMoney(const QFont& font) {
    return QFontMetrics(font).horizontalAdvance(regional::formatMoney(-999999.99));
}

void showsMoney(QLineEdit* box) {
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The text margins and frame of a line edit, as QLineEdit's own size hint counts them.
    const QMargins margins = box->textMargins();
    box->setMinimumWidth(widestMoney(box->font()) + margins.left() + margins.right() + 14);
}

} // namespace appearance
