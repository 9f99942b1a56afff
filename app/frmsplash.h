#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class frmSplash;
}

// The start-up window: it opens the database and hands over to the ledger without ever
// being seen in normal operation.
class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);
    ~frmSplash() override;

    // Opens the shared connection, shows Form1 and closes this window. When the database
    // cannot be opened it tells the user (message box and standard error) and returns
    // false without showing any window.
    bool Form_Load();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Form_KeyPress();
    void Frame1_Click();

private:
    std::unique_ptr<Ui::frmSplash> ui;
};

// Runs the whole start-up; returns the exit status to use when it failed (1), or 0 when
// the program is running and the event loop should start.
int startProgram();
