#include "ledger/frestaurer.h"

#include "data/dailycopy.h"
#include "data/paths.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/singlewindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kTitre = QStringLiteral("Restaurer une copie");

enum Colonne { kDate, kNature, kTaille, kLignes, kDerniere, kEtat };

QString nature(const ledger::SavedCopy& copie) {
    const QString nom = QFileInfo(copie.path).fileName();
    if (copie.beforeRestoring)
        return QStringLiteral("avant restauration");
    if (nom.startsWith(QLatin1String("avant-reparation-")))
        return QStringLiteral("avant réparation");
    return QStringLiteral("copie du jour");
}

// "1,4 Mo": sizes as the file manager writes them.
QString taille(qint64 octets) {
    return regional::frenchLocale().formattedDataSize(octets, 1,
                                                      QLocale::DataSizeTraditionalFormat);
}

} // namespace

Frestaurer::Frestaurer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Frestaurer"));
    setWindowTitle(kTitre);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* mise = new QVBoxLayout(this);
    m_dossier = new QLabel(this);
    m_dossier->setObjectName(QStringLiteral("LblDossier"));
    m_dossier->setWordWrap(true);
    m_dossier->setTextInteractionFlags(Qt::TextSelectableByMouse);
    mise->addWidget(m_dossier);
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("LstCopies"));
    m_liste->setRootIsDecorated(false);
    m_liste->setAllColumnsShowFocus(true);
    m_liste->setHeaderLabels({QStringLiteral("Copie du"), QStringLiteral("Nature"),
                              QStringLiteral("Taille"), QStringLiteral("Lignes"),
                              QStringLiteral("Dernière ligne"), QStringLiteral("État")});
    mise->addWidget(m_liste);
    auto* note = new QLabel(QStringLiteral("Le registre actuel est d'abord copié dans le même "
                                           "dossier (avant-restauration-…) : vous pourrez y "
                                           "revenir."),
                            this);
    note->setObjectName(QStringLiteral("LblSurete"));
    note->setWordWrap(true);
    mise->addWidget(note);
    auto* boutons = new QHBoxLayout();
    m_restaurer = new QPushButton(QStringLiteral("&Restaurer"), this);
    m_restaurer->setObjectName(QStringLiteral("BT_restaurer"));
    auto* fermer = new QPushButton(QStringLiteral("Fermer"), this);
    fermer->setObjectName(QStringLiteral("BT_fermer"));
    boutons->addStretch();
    boutons->addWidget(m_restaurer);
    boutons->addWidget(fermer);
    mise->addLayout(boutons);
    connect(m_restaurer, &QPushButton::clicked, this, &Frestaurer::BT_restaurer_Click);
    connect(fermer, &QPushButton::clicked, this, &QWidget::close);
    connect(m_liste, &QTreeWidget::itemSelectionChanged, this, &Frestaurer::Verifier);
    connect(m_liste, &QTreeWidget::itemDoubleClicked, this, [this] { BT_restaurer_Click(); });
    appearance::makeKeyboardFriendly(this);
    resize(760, 420);
    Charger();
}

Frestaurer* Frestaurer::showSingle() {
    Frestaurer* window = singlewindow::get<Frestaurer>();
    singlewindow::bringForward(window);
    return window;
}

void Frestaurer::Charger() {
    const QString fichier = paths::databaseFile();
    m_dossier->setText(QStringLiteral("Copies dans %1")
                           .arg(QDir::toNativeSeparators(dailycopy::folderFor(fichier))));
    m_liste->clear();
    m_copies = ledger::savedCopies(fichier);
    for (int i = 0; i < m_copies.size(); ++i) {
        auto* item = new QTreeWidgetItem(m_liste);
        item->setData(kDate, Qt::UserRole, i);
        Remplir(item, m_copies.at(i));
    }
    if (m_copies.isEmpty()) {
        auto* vide = new QTreeWidgetItem(m_liste, {QStringLiteral("Aucune copie")});
        vide->setFlags(Qt::NoItemFlags);
        vide->setData(kDate, Qt::UserRole, -1);
    }
    for (int colonne = 0; colonne < m_liste->columnCount(); ++colonne)
        m_liste->resizeColumnToContents(colonne);
    m_restaurer->setEnabled(false);
}

void Frestaurer::Remplir(QTreeWidgetItem* item, const ledger::SavedCopy& copie) {
    const bool heure = copie.made.time() != QTime(0, 0);
    QStringList cellules = {copie.made.toString(heure ? QStringLiteral("dd/MM/yyyy HH:mm")
                                                      : QStringLiteral("dd/MM/yyyy")),
                            nature(copie), taille(copie.size)};
    if (copie.damaged)
        cellules << QString() << QString() << QStringLiteral("endommagée");
    else
        cellules << regional::frenchLocale().toString(copie.lines)
                 << copie.lastLine.toString(QStringLiteral("dd/MM/yyyy"))
                 << (copie.checked ? QStringLiteral("saine") : QString());
    for (int colonne = 0; colonne < cellules.size(); ++colonne)
        item->setText(colonne, cellules.at(colonne));
    for (const int colonne : {kTaille, kLignes})
        item->setTextAlignment(colonne, Qt::AlignRight | Qt::AlignVCenter);
    if (copie.damaged) {
        // Listed so that the user sees it is there, never chosen.
        item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        item->setToolTip(kEtat, copie.problem);
    }
}

// The copy chosen has its pages checked through before it is offered: a copy damaged
// inside is marked so, and cannot be restored.
void Frestaurer::Verifier() {
    QTreeWidgetItem* item = m_liste->currentItem();
    const int index = item && item->isSelected() ? item->data(kDate, Qt::UserRole).toInt() : -1;
    if (index >= 0 && index < m_copies.size() && !m_copies.at(index).checked &&
        !m_copies.at(index).damaged) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_copies[index] = ledger::readCopy(m_copies.at(index).path);
        QApplication::restoreOverrideCursor();
        Remplir(item, m_copies.at(index));
        if (m_copies.at(index).damaged)
            item->setSelected(false);
    }
    m_restaurer->setEnabled(CopieChoisie() != nullptr);
}

const ledger::SavedCopy* Frestaurer::CopieChoisie() const {
    const QTreeWidgetItem* item = m_liste->currentItem();
    if (!item || !item->isSelected())
        return nullptr;
    const int index = item->data(kDate, Qt::UserRole).toInt();
    if (index < 0 || index >= m_copies.size() || m_copies.at(index).damaged)
        return nullptr;
    return &m_copies.at(index);
}

void Frestaurer::BT_restaurer_Click() {
    const ledger::SavedCopy* copie = CopieChoisie();
    if (!copie)
        return;
    const std::optional<qint64> actuelles = ledger::ledgerLines(paths::databaseFile());
    const QString question =
        actuelles ? ledger::restoreQuestion(*actuelles, *copie)
                  : QStringLiteral("Remplacer le registre actuel, illisible, par la copie du %1 "
                                   "(%2 lignes) ?")
                        .arg(copie->made.date().toString(QStringLiteral("dd/MM/yyyy")),
                             regional::frenchLocale().toString(copie->lines));
    if (dialogs::message(this, question, kTitre, dialogs::Buttons::YesNo,
                         dialogs::Icon::Question) != dialogs::Answer::Yes)
        return;
    emit restaurer(copie->path);
}
