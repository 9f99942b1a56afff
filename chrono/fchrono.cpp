#include "chrono/fchrono.h"
#include "ui_fchrono.h"

#include <QPointer>

namespace {
QPointer<Fchrono>& single() {
    static QPointer<Fchrono> window;
    return window;
}
} // namespace

Fchrono::Fchrono(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::Fchrono>()) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

Fchrono::~Fchrono() = default;

Fchrono* Fchrono::showSingle() {
    if (!single())
        single() = new Fchrono();
    single()->show();
    single()->raise();
    single()->activateWindow();
    return single();
}

Fchrono* Fchrono::instance() { return single(); }
