#include "ledger/ftypesjeux.h"

#include "data/connection.h"
#include "data/regional.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/singlewindow.h"
#include "racing/vocabulary.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kTitre = QStringLiteral("Types de jeux");

enum Colonne { kType, kLignes, kRegle };

// The rule as a list shows it: "Tiercé", "à la main".
QString regleAffichee(ledger::Rule regle) {
    QString nom = ledger::ruleName(regle);
    if (regle != ledger::Rule::ByHand)
        nom[0] = nom.at(0).toUpper();
    return nom;
}

} // namespace

Ftypesjeux::Ftypesjeux(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Ftypesjeux"));
    setWindowTitle(kTitre);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* mise = new QVBoxLayout(this);
    m_liste = new QTreeWidget(this);
    m_liste->setObjectName(QStringLiteral("LstTypes"));
    m_liste->setRootIsDecorated(false);
    m_liste->setAllColumnsShowFocus(true);
    m_liste->setHeaderLabels(
        {QStringLiteral("Type de jeu"), QStringLiteral("Lignes de l'année"), QStringLiteral("Règle")});
    mise->addWidget(m_liste);
    auto* note = new QLabel(
        QStringLiteral("Renommer ou fusionner un type change les lignes de l'année ouverte ; les "
                       "archives des années closes ne sont jamais modifiées."),
        this);
    note->setObjectName(QStringLiteral("LblArchives"));
    note->setWordWrap(true);
    mise->addWidget(note);
    auto* boutons = new QHBoxLayout();
    const auto bouton = [&](const char* nom, const QString& texte) {
        auto* b = new QPushButton(texte, this);
        b->setObjectName(QLatin1String(nom));
        boutons->addWidget(b);
        return b;
    };
    m_ajouter = bouton("BT_ajouter", QStringLiteral("&Ajouter…"));
    m_renommer = bouton("BT_renommer", QStringLiteral("&Renommer…"));
    m_fusionner = bouton("BT_fusionner", QStringLiteral("&Fusionner dans…"));
    m_supprimer = bouton("BT_supprimer", QStringLiteral("&Supprimer"));
    boutons->addStretch();
    QPushButton* fermer = bouton("BT_fermer", QStringLiteral("Fermer"));
    mise->addLayout(boutons);
    connect(m_ajouter, &QPushButton::clicked, this, &Ftypesjeux::BT_ajouter_Click);
    connect(m_renommer, &QPushButton::clicked, this, &Ftypesjeux::BT_renommer_Click);
    connect(m_fusionner, &QPushButton::clicked, this, &Ftypesjeux::BT_fusionner_Click);
    connect(m_supprimer, &QPushButton::clicked, this, &Ftypesjeux::BT_supprimer_Click);
    connect(fermer, &QPushButton::clicked, this, &QWidget::close);
    appearance::makeKeyboardFriendly(this);
    resize(620, 460);
    try {
        OuvrirConnexion();
        m_lectureSeule = ConnexionLectureSeule();
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    for (QPushButton* b : {m_ajouter, m_renommer, m_fusionner, m_supprimer})
        b->setEnabled(!m_lectureSeule);
    Charger();
}

Ftypesjeux* Ftypesjeux::showSingle() {
    Ftypesjeux* window = singlewindow::get<Ftypesjeux>();
    singlewindow::bringForward(window);
    return window;
}

Ftypesjeux* Ftypesjeux::instance() {
    return singlewindow::open<Ftypesjeux>();
}

void Ftypesjeux::Charger() {
    const QString choisi = TypeChoisi() ? TypeChoisi()->type : QString();
    m_liste->clear();
    m_types.clear();
    if (!Connexion)
        return;
    try {
        m_types = ledger::gameTypeRows(*Connexion);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return;
    }
    for (int i = 0; i < m_types.size(); ++i) {
        const ledger::GameTypeRow& ligne = m_types.at(i);
        auto* item = new QTreeWidgetItem(m_liste, {ligne.type, QString::number(ligne.lines)});
        item->setData(kType, Qt::UserRole, i);
        item->setTextAlignment(kLignes, Qt::AlignRight | Qt::AlignVCenter);
        auto* regle = new QComboBox(m_liste);
        regle->setObjectName(QStringLiteral("C_regle"));
        for (const ledger::Rule r : ledger::allRules())
            regle->addItem(regleAffichee(r), int(r));
        regle->setCurrentIndex(regle->findData(int(ligne.rule)));
        regle->setEnabled(!m_lectureSeule);
        m_liste->setItemWidget(item, kRegle, regle);
        const QString type = ligne.type;
        connect(regle, &QComboBox::activated, this,
                [this, type, regle] { C_regle_Change(type, regle); });
        if (ligne.type == choisi)
            m_liste->setCurrentItem(item);
    }
    m_liste->resizeColumnToContents(kType);
    m_liste->resizeColumnToContents(kLignes);
}

const ledger::GameTypeRow* Ftypesjeux::TypeChoisi() const {
    const QTreeWidgetItem* item = m_liste->currentItem();
    if (!item)
        return nullptr;
    const int i = item->data(kType, Qt::UserRole).toInt();
    return i >= 0 && i < m_types.size() ? &m_types.at(i) : nullptr;
}

template <typename Write> bool Ftypesjeux::Ecrire(Write write, bool recharger) {
    try {
        write();
    } catch (const ledger::GameTypeRefused& refus) {
        dialogs::message(this, refus.text, kTitre, dialogs::Buttons::Ok,
                         dialogs::Icon::Exclamation);
        return false;
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return false;
    }
    if (recharger)
        Charger();
    emit typesModifies();
    return true;
}

void Ftypesjeux::BT_ajouter_Click() {
    const auto nom = dialogs::input(this, QStringLiteral("Nom du nouveau type de jeu :"), kTitre);
    if (!nom || regional::simplifiedName(*nom).isEmpty())
        return;
    Ecrire([&] { ledger::addGameType(*Connexion, *nom, ledger::defaultRule(*nom)); });
}

void Ftypesjeux::BT_renommer_Click() {
    const ledger::GameTypeRow* choisi = TypeChoisi();
    if (!choisi) {
        dialogs::message(this, QStringLiteral("Choisissez d'abord un type dans la liste."), kTitre,
                         dialogs::Buttons::Ok, dialogs::Icon::Information);
        return;
    }
    const QString ancien = choisi->type;
    const auto nom = dialogs::input(
        this,
        QStringLiteral("Nouveau nom de « %1 » (%2 de l'année le suivront) :")
            .arg(ancien, regional::counted(choisi->lines, QStringLiteral("ligne"),
                                           QStringLiteral("lignes"))),
        kTitre, ancien);
    if (!nom || regional::simplifiedName(*nom) == ancien)
        return;
    Ecrire([&] { ledger::renameGameType(*Connexion, ancien, *nom); });
}

void Ftypesjeux::BT_fusionner_Click() {
    const ledger::GameTypeRow* choisi = TypeChoisi();
    if (!choisi) {
        dialogs::message(this, QStringLiteral("Choisissez d'abord le type à fusionner."), kTitre,
                         dialogs::Buttons::Ok, dialogs::Icon::Information);
        return;
    }
    const QString source = choisi->type;
    // The type the vocabulary takes it for is proposed: a misspelling merges into it.
    QString propose;
    for (const ledger::GameTypeRow& autre : std::as_const(m_types))
        if (autre.type != source && racing::sameName(autre.type, source) && autre.offered)
            propose = autre.type;
    const auto cible = dialogs::input(
        this,
        QStringLiteral("Fusionner « %1 » (%2) dans le type :")
            .arg(source, regional::counted(choisi->lines, QStringLiteral("ligne"),
                                           QStringLiteral("lignes"))),
        kTitre, propose);
    if (!cible || regional::simplifiedName(*cible).isEmpty())
        return;
    Ecrire([&] { ledger::mergeGameType(*Connexion, source, regional::simplifiedName(*cible)); });
}

void Ftypesjeux::BT_supprimer_Click() {
    const ledger::GameTypeRow* choisi = TypeChoisi();
    if (!choisi)
        return;
    const QString type = choisi->type;
    if (dialogs::message(this, QStringLiteral("Supprimer le type « %1 » ?").arg(type), kTitre,
                         dialogs::Buttons::YesNo,
                         dialogs::Icon::Question) != dialogs::Answer::Yes)
        return;
    Ecrire([&] { ledger::deleteGameType(*Connexion, type); });
}

void Ftypesjeux::C_regle_Change(const QString& type, QComboBox* regle) {
    const auto choisie = ledger::Rule(regle->currentData().toInt());
    // The list stays as it is: its lines do not change, and this list is the one clicked.
    if (!Ecrire([&] { ledger::setGameRule(*Connexion, type, choisie); }, false))
        QMetaObject::invokeMethod(this, &Ftypesjeux::Charger, Qt::QueuedConnection);
}
