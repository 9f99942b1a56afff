#include "ledger/flimites.h"

#include "data/connection.h"
#include "data/error.h"
#include "data/regional.h"
#include "gui/amountfield.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/singlewindow.h"
#include "ledger/limits.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kTitre = QStringLiteral("Limites du joueur");

QString typed(const std::optional<Money>& limite) {
    return limite ? regional::typedAmount(*limite) : QString();
}

} // namespace

Flimites::Flimites(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Flimites"));
    setWindowTitle(kTitre);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* mise = new QVBoxLayout(this);
    m_titre = new QLabel(this);
    m_titre->setObjectName(QStringLiteral("LblJoueur"));
    QFont gras = m_titre->font();
    gras.setBold(true);
    m_titre->setFont(gras);
    mise->addWidget(m_titre);
    auto* champs = new QFormLayout();
    m_plafond = new QLineEdit(this);
    m_plafond->setObjectName(QStringLiteral("TplafondMises"));
    m_perte = new QLineEdit(this);
    m_perte->setObjectName(QStringLiteral("TperteMax"));
    for (QLineEdit* champ : {m_plafond, m_perte})
        champ->setAlignment(Qt::AlignRight);
    champs->addRow(QStringLiteral("&Plafond de mises du mois"), m_plafond);
    champs->addRow(QStringLiteral("P&erte maximale du mois"), m_perte);
    mise->addLayout(champs);
    auto* note = new QLabel(QStringLiteral("Une case vide retire la limite. Une mise qui la "
                                           "dépasse est demandée avant d'être enregistrée."),
                            this);
    note->setObjectName(QStringLiteral("LblNote"));
    note->setWordWrap(true);
    mise->addWidget(note);
    auto* boutons = new QHBoxLayout();
    m_enregistrer = new QPushButton(QStringLiteral("E&nregistrer"), this);
    m_enregistrer->setObjectName(QStringLiteral("BT_enregistrer"));
    m_enregistrer->setDefault(true);
    auto* fermer = new QPushButton(QStringLiteral("Fermer"), this);
    fermer->setObjectName(QStringLiteral("BT_fermer"));
    boutons->addStretch();
    boutons->addWidget(m_enregistrer);
    boutons->addWidget(fermer);
    mise->addLayout(boutons);
    connect(m_enregistrer, &QPushButton::clicked, this, &Flimites::BT_enregistrer_Click);
    for (QLineEdit* champ : {m_plafond, m_perte})
        connect(champ, &QLineEdit::returnPressed, this, &Flimites::BT_enregistrer_Click);
    connect(fermer, &QPushButton::clicked, this, &QWidget::close);
    appearance::makeKeyboardFriendly(this);
    resize(420, 200);
}

Flimites* Flimites::showFor(const QString& joueur) {
    Flimites* window = singlewindow::get<Flimites>();
    window->Charger(joueur);
    singlewindow::bringForward(window);
    window->m_plafond->setFocus();
    return window;
}

Flimites* Flimites::instance() {
    return singlewindow::open<Flimites>();
}

void Flimites::Charger(const QString& joueur) {
    m_joueur = joueur;
    m_titre->setText(joueur);
    setWindowTitle(QStringLiteral("%1 — %2").arg(kTitre, joueur));
    ledger::Limits limites;
    try {
        if (Connexion)
            limites = ledger::limitsOf(*Connexion, joueur);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    m_plafond->setText(typed(limites.ceiling));
    m_perte->setText(typed(limites.maxLoss));
    const bool ecrit = Connexion && !ConnexionLectureSeule();
    for (QWidget* w : std::initializer_list<QWidget*>{m_plafond, m_perte, m_enregistrer})
        w->setEnabled(ecrit);
}

void Flimites::BT_enregistrer_Click() {
    if (!Connexion || ConnexionLectureSeule()) {
        dialogs::message(this, MessageLectureSeule(), kTitre, dialogs::Buttons::Ok,
                         dialogs::Icon::Exclamation);
        return;
    }
    ledger::Limits limites;
    for (auto [champ, limite] :
         {std::pair{m_plafond, &limites.ceiling}, std::pair{m_perte, &limites.maxLoss}}) {
        champ->setText(regional::dotsToCommas(champ->text()));
        if (!amountfield::readOptional(this, champ, regional::readPositiveAmount, *limite))
            return;
    }
    try {
        ledger::setLimits(*Connexion, m_joueur, limites);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
        return;
    }
    emit limitesModifiees(m_joueur);
    close();
}
