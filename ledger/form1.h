#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class Form1;
}

// The bets ledger, the program's main window.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

private slots:
    void BT_suivit_Click();
    void mnuchrono_Click();

private:
    std::unique_ptr<Ui::Form1> ui;
};
