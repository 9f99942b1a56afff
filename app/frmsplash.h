#pragma once

#include <QWidget>
#include <memory>

class Form1;
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
    // nullptr without showing any window. With a reason, the file could not be locked: it
    // is opened read-only, the ledger shows why, and nothing is written (no year asked, no
    // daily copy).
    Form1* Form_Load(const QString& lectureSeule = QString());

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Form_KeyPress();
    void Frame1_Click();

private:
    void AskYear();

    std::unique_ptr<Ui::frmSplash> ui;
};

// What startProgram returns when another program already has the file open: it was asked
// to come forward, and this one ends without an error.
constexpr int kAlreadyRunning = -1;

// Runs the whole start-up: finds the file (or offers to create one), takes it for this
// program, opens it and shows the ledger. Returns 0 when the event loop should start, 1
// when the program must end with that status, or kAlreadyRunning.
int startProgram();
