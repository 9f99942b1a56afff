#include "app/frmsplash.h"
#include "app/shell.h"
#include "ui_frmsplash.h"

#include "data/connection.h"
#include "data/dailycopy.h"
#include "data/paths.h"
#include "data/regional.h"
#include "gui/dialogs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTextStream>
#include <QTimer>

frmSplash::frmSplash(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::frmSplash>()) {
    // Resources compiled into a static library are only found once registered.
    Q_INIT_RESOURCE(app);
    ui->setupUi(this);
    setObjectName(QStringLiteral("frmSplash"));
    setWindowFlag(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose);
    ui->Frame1->installEventFilter(this);
}

frmSplash::~frmSplash() = default;

bool frmSplash::Form_Load() {
    try {
        OuvrirConnexion();
    } catch (const data::OpenError& error) {
        const QString text = QStringLiteral("%1\n\nErreur n° %2 : %3")
                                 .arg(error.explanation())
                                 .arg(error.code())
                                 .arg(error.engineText());
        QTextStream(stderr) << text << Qt::endl;
        dialogs::message(nullptr, text, dialogs::applicationTitle(), dialogs::Buttons::Ok,
                         dialogs::Icon::Critical);
        close();
        return false;
    }
    shell::openLedger();
    close();
    // The copy waits until the window has drawn itself: its reading would slow the first
    // paint. Owned by the application, so closing the program stops an unfinished copy.
    QTimer::singleShot(1000, qApp, [] {
        auto* copie = new dailycopy::Background(paths::databaseFile(), regional::today(), qApp);
        QObject::connect(copie, &QThread::finished, copie, &QObject::deleteLater);
        copie->start();
    });
    return true;
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    Form_KeyPress();
    event->accept();
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui->Frame1 && event->type() == QEvent::MouseButtonRelease) {
        Frame1_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmSplash::Form_KeyPress() {
    close();
}

void frmSplash::Frame1_Click() {
    close();
}

int startProgram() {
    auto* splash = new frmSplash();
    return splash->Form_Load() ? 0 : 1;
}
