#include "ledger/form1.h"
#include "ui_form1.h"

#include "app/dialogs.h"
#include "chrono/fchrono.h"

Form1::Form1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::Form1>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->BT_suivit, &QPushButton::clicked, this, &Form1::BT_suivit_Click);
    connect(ui->mnuchrono, &QAction::triggered, this, &Form1::mnuchrono_Click);
}

Form1::~Form1() = default;

void Form1::BT_suivit_Click() {
    dialogs::message(this, QStringLiteral("En cours de developpement"),
                     dialogs::applicationTitle(), dialogs::Buttons::Ok, dialogs::Icon::None);
}

void Form1::mnuchrono_Click() { Fchrono::showSingle(); }
