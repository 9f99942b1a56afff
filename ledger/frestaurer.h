#pragma once

#include "ledger/restoring.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The copies of sauvegardes/ beside the file, newest first, with what each holds; the one
// chosen put in the file's place once the user agrees. The window only asks: the shell, which
// knows every window, closes what reads the file, restores, and opens the ledger again. One
// window at most.
class Frestaurer : public QWidget {
    Q_OBJECT
public:
    explicit Frestaurer(QWidget* parent = nullptr);
    static Frestaurer* showSingle();

    // Reads the copies again (after a restoring, a new safety copy is among them).
    void Charger();

signals:
    // The user agreed to replace the file by this copy.
    void restaurer(const QString& copie);

private:
    void BT_restaurer_Click();
    void Remplir(QTreeWidgetItem* item, const ledger::SavedCopy& copie);
    void Verifier();
    const ledger::SavedCopy* CopieChoisie() const;

    QTreeWidget* m_liste = nullptr;
    QPushButton* m_restaurer = nullptr;
    QLabel* m_dossier = nullptr;
    QVector<ledger::SavedCopy> m_copies;
};
