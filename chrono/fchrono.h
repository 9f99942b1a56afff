#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class Fchrono;
}

// The chrono calculator. One instance at most: the menu brings it forward or makes it anew.
class Fchrono : public QWidget {
    Q_OBJECT
public:
    explicit Fchrono(QWidget* parent = nullptr);
    ~Fchrono() override;

    // Shows the single window (created again if it was closed) and brings it forward.
    static Fchrono* showSingle();
    // The open window, or nullptr.
    static Fchrono* instance();

private:
    std::unique_ptr<Ui::Fchrono> ui;
};
