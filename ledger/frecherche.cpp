#include "ledger/frecherche.h"

#include "data/connection.h"
#include "data/error.h"
#include "data/paths.h"
#include "data/regional.h"
#include "data/sortkeys.h"
#include "gui/amountfield.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/errorbox.h"
#include "gui/singlewindow.h"
#include "gui/sortproxy.h"
#include "ledger/exports.h"
#include "ledger/ledgerbook.h"
#include "ledger/yearbook.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTreeView>
#include <QVBoxLayout>

namespace frecherche {

enum Colonne {
    kAnnee,
    kMois,
    kJour,
    kJoueur,
    kType,
    kCheval,
    kMise,
    kGain,
    kEtat,
    kRemarque,
    kColonnes
};

// The lines found, with the keys the proxy sorts them by: amounts by their cents, the year,
// month and day by the calendar, the rest as words.
class ResultsModel : public QAbstractTableModel, public sorting::KeySource {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setLines(QVector<ledger::FoundLine> lines) {
        beginResetModel();
        m_lines = std::move(lines);
        endResetModel();
    }
    const QVector<ledger::FoundLine>& lines() const { return m_lines; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(m_lines.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : kColonnes;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const QStringList titres = {
            QStringLiteral("Année"),   QStringLiteral("Mois"),        QStringLiteral("Jour"),
            QStringLiteral("Joueur"),  QStringLiteral("Type de jeu"), QStringLiteral("Cheval"),
            QStringLiteral("Mise"),    QStringLiteral("Gain"),        QStringLiteral("État"),
            QStringLiteral("Remarque")};
        if (orientation != Qt::Horizontal)
            return {};
        if (role == Qt::DisplayRole)
            return titres.value(section);
        if (role == Qt::TextAlignmentRole && (section == kMise || section == kGain))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_lines.size())
            return {};
        const ledger::FoundLine& l = m_lines.at(index.row());
        if (role == Qt::TextAlignmentRole && (index.column() == kMise || index.column() == kGain))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        return text(l, index.column());
    }
    static QString text(const ledger::FoundLine& l, int column) {
        switch (column) {
        case kAnnee:
            return QString::number(l.year);
        case kMois:
            return l.month;
        case kJour:
            return l.day;
        case kJoueur:
            return l.player;
        case kType:
            return l.type;
        case kCheval:
            return l.horse;
        case kMise:
            return l.stake != Money() ? regional::formatMoney(l.stake) : QString();
        case kGain:
            return l.win != Money() ? regional::formatMoney(l.win) : QString();
        case kEtat:
            return l.state;
        case kRemarque:
            return l.remark;
        }
        return {};
    }
    sorting::ColumnKeys sortKeys(int column) const override {
        const int n = int(m_lines.size());
        if (column == kMise || column == kGain || column == kAnnee || column == kMois) {
            sorting::ColumnKeys keys(n);
            for (int row = 0; row < n; ++row) {
                const ledger::FoundLine& l = m_lines.at(row);
                const int mois = regional::monthIndex(l.month);
                const double valeur =
                    column == kMise   ? double(l.stake.cents())
                    : column == kGain ? double(l.win.cents())
                    : column == kAnnee
                        ? double(l.year) * 10000 + (mois < 0 ? 12 : mois) * 100 + l.day.toInt()
                        : double(mois < 0 ? 12 : mois);
                keys.setNumber(row, valeur);
            }
            return keys;
        }
        QVector<QString> cells(n);
        for (int row = 0; row < n; ++row)
            cells[row] = text(m_lines.at(row), column);
        return sorting::textKeys(n, [&cells](int row) { return QStringView(cells.at(row)); });
    }

private:
    QVector<ledger::FoundLine> m_lines;
};

} // namespace frecherche

namespace {

const QString kTitre = QStringLiteral("Rechercher");
const QString kTous = QStringLiteral("Tous");
const QString kAnneeEnCours = QStringLiteral("Année en cours");
const QString kToutesLesAnnees = QStringLiteral("Toutes les années");

QLineEdit* champ(QWidget* parent, const char* nom, bool lectureSeule = false) {
    auto* c = new QLineEdit(parent);
    c->setObjectName(QLatin1String(nom));
    if (lectureSeule) {
        c->setReadOnly(true);
        c->setAlignment(Qt::AlignRight);
    }
    return c;
}

} // namespace

Frecherche::Frecherche(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Frecherche"));
    setWindowTitle(kTitre);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* mise = new QVBoxLayout(this);
    auto* criteres = new QGridLayout();
    const auto etiquette = [this](const QString& texte, QWidget* pour) {
        auto* l = new QLabel(texte, this);
        l->setBuddy(pour);
        return l;
    };
    m_texte = champ(this, "Tcherche");
    m_texte->setPlaceholderText(QStringLiteral("un cheval, un type de jeu, un mot d'une remarque"));
    m_joueur = new QComboBox(this);
    m_joueur->setObjectName(QStringLiteral("C_joueurR"));
    m_annee = new QComboBox(this);
    m_annee->setObjectName(QStringLiteral("C_anneeR"));
    m_minimum = champ(this, "TmontantMin");
    m_maximum = champ(this, "TmontantMax");
    m_etat = new QComboBox(this);
    m_etat->setObjectName(QStringLiteral("C_etatR"));
    m_etat->addItems(ledger::searchStateNames());
    auto* rechercher = new QPushButton(QStringLiteral("&Rechercher"), this);
    rechercher->setObjectName(QStringLiteral("BT_rechercher"));
    criteres->addWidget(etiquette(QStringLiteral("&Texte :"), m_texte), 0, 0);
    criteres->addWidget(m_texte, 0, 1, 1, 3);
    criteres->addWidget(etiquette(QStringLiteral("&Joueur :"), m_joueur), 0, 4);
    criteres->addWidget(m_joueur, 0, 5);
    criteres->addWidget(etiquette(QStringLiteral("A&nnée :"), m_annee), 0, 6);
    criteres->addWidget(m_annee, 0, 7);
    criteres->addWidget(etiquette(QStringLiteral("&Montant de"), m_minimum), 1, 0);
    criteres->addWidget(m_minimum, 1, 1);
    criteres->addWidget(etiquette(QStringLiteral("à"), m_maximum), 1, 2, Qt::AlignCenter);
    criteres->addWidget(m_maximum, 1, 3);
    criteres->addWidget(etiquette(QStringLiteral("É&tat :"), m_etat), 1, 4);
    criteres->addWidget(m_etat, 1, 5);
    criteres->addWidget(rechercher, 1, 7);
    criteres->setColumnStretch(1, 1);
    criteres->setColumnStretch(3, 1);
    mise->addLayout(criteres);

    m_modele = new frecherche::ResultsModel(this);
    m_tri = new SortProxy(this);
    m_tri->setSourceModel(m_modele);
    m_liste = new QTreeView(this);
    m_liste->setObjectName(QStringLiteral("LstResultats"));
    m_liste->setModel(m_tri);
    m_liste->setRootIsDecorated(false);
    m_liste->setUniformRowHeights(true);
    m_liste->setAllColumnsShowFocus(true);
    m_liste->setSortingEnabled(true);
    m_liste->sortByColumn(-1, Qt::AscendingOrder);
    m_liste->setSelectionBehavior(QAbstractItemView::SelectRows);
    mise->addWidget(m_liste, 1);

    auto* totaux = new QHBoxLayout();
    m_nombre = new QLabel(this);
    m_nombre->setObjectName(QStringLiteral("LblNombre"));
    m_mises = champ(this, "TmisesR", true);
    m_gains = champ(this, "TgainsR", true);
    m_net = champ(this, "TnetR", true);
    totaux->addWidget(m_nombre, 1);
    totaux->addWidget(etiquette(QStringLiteral("Total des mises"), m_mises));
    totaux->addWidget(m_mises);
    totaux->addWidget(etiquette(QStringLiteral("Total des gains"), m_gains));
    totaux->addWidget(m_gains);
    totaux->addWidget(etiquette(QStringLiteral("Net"), m_net));
    totaux->addWidget(m_net);
    mise->addLayout(totaux);
    auto* boutons = new QHBoxLayout();
    auto* exporter = new QPushButton(QStringLiteral("&Exporter (CSV)…"), this);
    exporter->setObjectName(QStringLiteral("BT_exporterR"));
    auto* fermer = new QPushButton(QStringLiteral("Fermer"), this);
    fermer->setObjectName(QStringLiteral("BT_fermer"));
    boutons->addStretch();
    boutons->addWidget(exporter);
    boutons->addWidget(fermer);
    mise->addLayout(boutons);

    connect(rechercher, &QPushButton::clicked, this, &Frecherche::Rechercher);
    for (QLineEdit* c : {m_texte, m_minimum, m_maximum})
        connect(c, &QLineEdit::returnPressed, this, &Frecherche::Rechercher);
    for (QComboBox* c : {m_joueur, m_annee, m_etat})
        connect(c, &QComboBox::activated, this, &Frecherche::Rechercher);
    connect(m_liste, &QTreeView::doubleClicked, this, &Frecherche::Ouvrir);
    connect(exporter, &QPushButton::clicked, this, &Frecherche::Exporter);
    connect(fermer, &QPushButton::clicked, this, &QWidget::close);
    appearance::makeKeyboardFriendly(this);
    resize(1000, 560);
    ChargerChoix();
    Rechercher();
}

Frecherche::~Frecherche() = default;

Frecherche* Frecherche::showSingle() {
    Frecherche* window = singlewindow::get<Frecherche>();
    singlewindow::bringForward(window);
    window->m_texte->setFocus();
    return window;
}

Frecherche* Frecherche::instance() {
    return singlewindow::open<Frecherche>();
}

// The players of every year, each once whatever its case, and the archived years.
void Frecherche::ChargerChoix() {
    QStringList joueurs;
    QSet<QString> vus;
    const auto ajouter = [&](const QStringList& noms) {
        for (const QString& nom : noms) {
            if (!nom.isEmpty() && !vus.contains(nom.toCaseFolded())) {
                vus.insert(nom.toCaseFolded());
                joueurs << nom;
            }
        }
    };
    const QVector<ledger::ArchiveFile> archives = ledger::archives(paths::databaseFolder());
    try {
        if (Connexion)
            ajouter(ledger::playerRows(*Connexion));
        for (const ledger::ArchiveFile& archive : archives)
            ajouter(ledger::playerRows(*ledger::openArchive(archive.path)));
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    const QCollator ordre = regional::frenchCollator();
    std::sort(joueurs.begin(), joueurs.end(),
              [&ordre](const QString& a, const QString& b) { return ordre.compare(a, b) < 0; });
    m_joueur->clear();
    m_joueur->addItem(kTous);
    m_joueur->addItems(joueurs);
    m_annee->clear();
    m_annee->addItem(kAnneeEnCours, 0);
    for (const ledger::ArchiveFile& archive : archives)
        m_annee->addItem(QString::number(archive.year), archive.year);
    m_annee->addItem(kToutesLesAnnees, -1);
}

void Frecherche::Rechercher() {
    ledger::SearchQuery recherche;
    recherche.text = m_texte->text();
    if (m_joueur->currentIndex() > 0)
        recherche.player = m_joueur->currentText();
    recherche.state = ledger::SearchState(std::max(0, m_etat->currentIndex()));
    for (auto [champ, borne] :
         {std::pair{m_minimum, &recherche.least}, {m_maximum, &recherche.most}}) {
        if (!amountfield::readOptional(this, champ, regional::readAmount, *borne))
            return;
    }
    const int choix = m_annee->currentData().toInt();
    QVector<ledger::FoundLine> trouvees;
    try {
        // The closed years oldest first, the open year last: the calendar's order.
        if (choix != 0) {
            QVector<ledger::ArchiveFile> archives = ledger::archives(paths::databaseFolder());
            std::reverse(archives.begin(), archives.end());
            for (const ledger::ArchiveFile& archive : archives)
                if (choix == -1 || choix == archive.year)
                    trouvees += ledger::searchLines(*ledger::openArchive(archive.path),
                                                    archive.year, archive.path, recherche);
        }
        if ((choix == 0 || choix == -1) && Connexion)
            trouvees += ledger::searchLines(
                *Connexion, ledger::openYear(*Connexion, regional::today()), QString(), recherche);
    } catch (const data::DbError& error) {
        errors::showDbError(this, error);
    }
    const ledger::FoundTotals totaux = ledger::totalsOf(trouvees);
    m_nombre->setText(regional::counted(trouvees.size(), QStringLiteral("ligne trouvée"),
                                        QStringLiteral("lignes trouvées")));
    m_mises->setText(regional::formatMoney(totaux.stakes));
    m_gains->setText(regional::formatMoney(totaux.wins));
    m_net->setText(regional::formatMoney(totaux.net()));
    m_modele->setLines(std::move(trouvees));
    // The header reads a thousand rows at most to size a column: as quick for the years
    // together as for one month.
    for (int colonne = 0; colonne < frecherche::kRemarque; ++colonne)
        m_liste->resizeColumnToContents(colonne);
}

void Frecherche::Ouvrir(const QModelIndex& index) {
    const QModelIndex source = m_tri->mapToSource(index);
    if (source.isValid())
        emit ligneDemandee(m_modele->lines().at(source.row()));
}

void Frecherche::Exporter() {
    QStringList titres;
    for (int colonne = 0; colonne < frecherche::kColonnes; ++colonne)
        titres << m_modele->headerData(colonne, Qt::Horizontal, Qt::DisplayRole).toString();
    QVector<QStringList> lignes;
    // In the order on display.
    for (int row = 0; row < m_tri->rowCount(); ++row) {
        const ledger::FoundLine& l =
            m_modele->lines().at(m_tri->mapToSource(m_tri->index(row, 0)).row());
        QStringList cellules;
        for (int colonne = 0; colonne < frecherche::kColonnes; ++colonne)
            cellules << (colonne == frecherche::kMise ? exports::csvAmount(l.stake)
                         : colonne == frecherche::kGain
                             ? exports::csvAmount(l.win)
                             : frecherche::ResultsModel::text(l, colonne));
        lignes << cellules;
    }
    exports::exportTable(this, QStringLiteral("Exporter la recherche (CSV)"),
                         QStringLiteral("recherche.csv"), titres, lignes);
}
