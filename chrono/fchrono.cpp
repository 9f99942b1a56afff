#include "chrono/fchrono.h"
#include "ui_fchrono.h"

#include "chrono/conversions.h"
#include "chrono/listfile.h"
#include "gui/appearance.h"
#include "gui/dialogs.h"
#include "gui/singlewindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QTextDocument>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kChrono = QStringLiteral("chrono");
const QString kChronoL = QStringLiteral("chronoL");

// How an error message names a field: the words the user reads beside it.
QString nomChamp(const QLineEdit* champ) {
    static const QHash<QString, QString> noms = {
        {QStringLiteral("Tdistance"), QStringLiteral("Distance (course de référence)")},
        {QStringLiteral("Tminute"), QStringLiteral("Chrono : minutes")},
        {QStringLiteral("Tseconde"), QStringLiteral("Chrono : secondes")},
        {QStringLiteral("tcentieme"), QStringLiteral("Chrono : centièmes")},
        {QStringLiteral("Tpoids"), QStringLiteral("Poids (course de référence)")},
        {QStringLiteral("Tdistance2"), QStringLiteral("Distance (course du jour)")},
        {QStringLiteral("tpoids2"), QStringLiteral("Poids (course du jour)")},
        {QStringLiteral("TNbrLongueur"), QStringLiteral("Nbr de longeur à rajouter au chrono")},
        {QStringLiteral("TminuteL"), QStringLiteral("Nouveau Chrono (+ longueur) : minutes")},
        {QStringLiteral("TsecondeL"), QStringLiteral("Nouveau Chrono (+ longueur) : secondes")},
        {QStringLiteral("TcentiemeL"), QStringLiteral("Nouveau Chrono (+ longueur) : centièmes")},
    };
    return noms.value(champ->objectName(), champ->objectName());
}

// The window's one error box: stop icon, OK button.
void erreur(QWidget* parent, const QString& texte,
            const QString& titre = QStringLiteral("Erreur")) {
    dialogs::message(parent, texte, titre, dialogs::Buttons::Ok, dialogs::Icon::Critical);
}

// A multi-line reminder box in a fixed-pitch font, just tall and wide enough for its lines.
void ajusterRappel(QPlainTextEdit* box) {
    box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics(box->font());
    const QStringList lignes = box->toPlainText().split(QLatin1Char('\n'));
    int largeur = 0;
    for (const QString& ligne : lignes)
        largeur = std::max(largeur, metrics.horizontalAdvance(ligne));
    // The text ends with a line break: the empty block after it needs no room.
    const int visibles = int(lignes.size()) - (lignes.last().isEmpty() ? 1 : 0);
    const int marges = int(box->document()->documentMargin() * 2) + box->frameWidth() * 2;
    box->setFixedHeight(metrics.lineSpacing() * visibles + marges + 2);
    box->setMinimumWidth(largeur + marges + metrics.averageCharWidth() * 2);
}

} // namespace

Fchrono::Fchrono(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Fchrono>()),
      m_ordreListe(QLocale(QLocale::French, QLocale::France)) {
    ui->setupUi(this);
    appearance::makeKeyboardFriendly(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Lines take their alphabetical place, case ignored.
    m_ordreListe.setCaseSensitivity(Qt::CaseInsensitive);

    ajusterRappel(ui->Text1);
    ajusterRappel(ui->Text2);

    ui->TNbrLongueur->installEventFilter(this);
    ui->Tpoids->installEventFilter(this);
    connect(ui->Opt_ChronokL, &QRadioButton::clicked, this, &Fchrono::Opt_ChronokL_Click);
    connect(ui->Opt_ChronocjL, &QRadioButton::clicked, this, &Fchrono::Opt_ChronocjL_Click);
    connect(ui->Btcalcul, &QPushButton::clicked, this, &Fchrono::Btcalcul_Click);
    connect(ui->Bt_Ajoute, &QPushButton::clicked, this, &Fchrono::Bt_Ajoute_Click);
    connect(ui->btsave, &QPushButton::clicked, this, &Fchrono::btsave_Click);
    connect(ui->bt_chargeliste, &QPushButton::clicked, this, &Fchrono::bt_chargeliste_Click);
    connect(ui->Bt_videliste, &QPushButton::clicked, this, &Fchrono::Bt_videliste_Click);
    connect(ui->Bt_videListefichier, &QPushButton::clicked, this,
            &Fchrono::Bt_videListefichier_Click);

    Form_Load();
}

Fchrono::~Fchrono() {
    // A focused field loses its focus while the children are destroyed, after this object
    // has stopped being a Fchrono: its filter must not run then.
    ui->TNbrLongueur->removeEventFilter(this);
    ui->Tpoids->removeEventFilter(this);
}

Fchrono* Fchrono::showSingle() {
    Fchrono* window = singlewindow::get<Fchrono>();
    singlewindow::bringForward(window);
    return window;
}

Fchrono* Fchrono::instance() {
    return singlewindow::open<Fchrono>();
}

bool Fchrono::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Leaving the window or opening the field's context menu does not leave the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == ui->TNbrLongueur)
                TNbrLongueur_LostFocus();
            else if (watched == ui->Tpoids)
                Tpoids_LostFocus();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Fchrono::closeEvent(QCloseEvent* event) {
    if (m_ajoutsNonEnregistres) {
        const auto reponse = dialogs::message(
            this, QStringLiteral("Enregistrer la liste dans lstchrono.txt ?"),
            dialogs::applicationTitle(), dialogs::Buttons::YesNoCancel, dialogs::Icon::Question);
        if (reponse == dialogs::Answer::Cancel ||
            (reponse == dialogs::Answer::Yes && !enregistrerListe())) {
            event->ignore();
            return;
        }
    }
    QWidget::closeEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Fields and time plus lengths

void Fchrono::Form_Load() {
    ui->TminuteL->clear();
    ui->TsecondeL->clear();
    ui->TcentiemeL->clear();
}

std::optional<float> Fchrono::lireChamp(QLineEdit* champ) {
    const QString texte = champ->text();
    if (texte.trimmed().isEmpty())
        return 0.0f;
    const auto nombre = chrono::LireNombreChrono(texte);
    // Every chrono number is held in single precision: a larger value cannot be computed.
    if (!nombre || std::fabs(*nombre) > double(std::numeric_limits<float>::max())) {
        erreur(this, QStringLiteral("La valeur « %1 » du champ « %2 » n'est pas un nombre "
                                    "utilisable (exemple : 12.5 ou 12,5).")
                         .arg(texte, nomChamp(champ)));
        return std::nullopt;
    }
    // Distances, times, weights and lengths: none can be negative ("-0" is 0).
    if (*nombre < 0) {
        erreur(this, QStringLiteral("La valeur « %1 » du champ « %2 » ne peut pas être "
                                    "négative.")
                         .arg(texte, nomChamp(champ)));
        return std::nullopt;
    }
    return float(*nombre);
}

double Fchrono::valeur(const QLineEdit* champ) {
    return chrono::LireNombreChrono(champ->text()).value_or(0.0);
}

void Fchrono::signalerDepassement(const QString& champs) {
    erreur(this, QStringLiteral("Les valeurs des champs %1 sont trop grandes pour être "
                                "calculées.")
                     .arg(champs));
}

void Fchrono::TNbrLongueur_LostFocus() {
    const QString longueurs = ui->TNbrLongueur->text();
    if (longueurs.isEmpty() || longueurs == QLatin1String("0") ||
        longueurs == QLatin1String("0.0")) {
        ui->TminuteL->setText(ui->Tminute->text());
        ui->TsecondeL->setText(ui->Tseconde->text());
        ui->TcentiemeL->setText(ui->tcentieme->text());
        return;
    }
    const auto nombre = lireChamp(ui->TNbrLongueur);
    if (!nombre)
        return;
    // 1.5 lengths count as one second.
    const float secondes = *nombre / 1.5f;
    const auto ajout = chrono::SecondesEnCentiemes(secondes);

    QLineEdit* const temps[] = {ui->Tminute, ui->Tseconde, ui->tcentieme};
    for (QLineEdit* champ : temps)
        if (!lireChamp(champ))
            return;
    const auto reference = chrono::ConvertirEnCentiemes(
        QString(), ui->Tminute->text(), ui->Tseconde->text(), ui->tcentieme->text());
    if (!ajout || !reference || !std::isfinite(*ajout + *reference)) {
        signalerDepassement(QStringLiteral("« Chrono » et « Nbr de longeur »"));
        return;
    }
    const QStringList parts =
        chrono::FormaterCentiemes(*ajout + *reference).split(QLatin1Char(':'));
    if (parts.size() != 3)
        return;
    ui->TminuteL->setText(parts.at(0));
    ui->TsecondeL->setText(parts.at(1));
    ui->TcentiemeL->setText(parts.at(2));
}

void Fchrono::Tpoids_LostFocus() {
    ui->tpoids2->setText(ui->Tpoids->text());
}

void Fchrono::revenirAuChrono(QRadioButton* option) {
    if (!ui->TcentiemeL->text().isEmpty() && !ui->TsecondeL->text().isEmpty() &&
        !ui->TminuteL->text().isEmpty())
        return;
    dialogs::message(this,
                     QStringLiteral("vous devez avoir rentré une longeur pour effectuer ce calcul"),
                     dialogs::applicationTitle(), dialogs::Buttons::Ok, dialogs::Icon::None);
    // The options of a frame are exclusive: choosing "Le Chrono" unselects the other one.
    option->setChecked(true);
}

void Fchrono::Opt_ChronokL_Click() {
    revenirAuChrono(ui->Opt_chronok);
}

void Fchrono::Opt_ChronocjL_Click() {
    revenirAuChrono(ui->Opt_chronocj);
}

// ---------------------------------------------------------------------------------------------
// Kilometric reduction and today's estimate

void Fchrono::ReinitialiserCalcul() {
    Centiemes = 0;
    EcartPoids = 0;
    AjustementPoids = 0;
}

void Fchrono::CompleterChamps() {
    if (ui->tpoids2->text().isEmpty())
        ui->tpoids2->setText(ui->Tpoids->text());
    for (QLineEdit* champ : {ui->Tminute, ui->Tseconde, ui->tcentieme})
        if (champ->text().isEmpty())
            champ->setText(QStringLiteral("0"));
}

float Fchrono::CalculerEcartPoids() const {
    if (ui->tpoids2->text().isEmpty())
        return 0;
    if (chrono::ArrondirAuPair(valeur(ui->Tpoids)) == 0)
        return 0;
    // The difference of the weights as typed, exact, made single precision only then:
    // 50,3 − 50,0 is 0,3 and not 50,3f − 50f = 0,2999992, which loses a hundredth.
    const auto texte = [](const QLineEdit* champ) {
        return champ->text().trimmed().isEmpty() ? QStringLiteral("0") : champ->text();
    };
    const auto ecart = chrono::DifferenceDecimale(texte(ui->Tpoids), texte(ui->tpoids2));
    // Both weights were read as numbers within single precision and not negative, so their
    // difference is too; the caller refuses an infinity all the same.
    return ecart ? std::fabs(*ecart) : std::numeric_limits<float>::infinity();
}

bool Fchrono::ConvertirEcartPoids() {
    const auto ajustement = chrono::SecondesEnCentiemes(EcartPoids);
    if (!ajustement || std::fabs(*ajustement) > double(std::numeric_limits<float>::max()))
        return false;
    AjustementPoids = float(*ajustement);
    return true;
}

std::optional<float> Fchrono::tempsDeBase(const QString& base) {
    const bool longueur = base == kChronoL;
    QLineEdit* const m = longueur ? ui->TminuteL : ui->Tminute;
    QLineEdit* const s = longueur ? ui->TsecondeL : ui->Tseconde;
    QLineEdit* const c = longueur ? ui->TcentiemeL : ui->tcentieme;
    const auto minutes = lireChamp(m);
    if (!minutes)
        return std::nullopt;
    const auto secondes = lireChamp(s);
    if (!secondes)
        return std::nullopt;
    const auto centiemes = lireChamp(c);
    if (!centiemes)
        return std::nullopt;
    return *minutes * 60.0f + *secondes + *centiemes / 100.0f;
}

void Fchrono::signalerErreurTemps() {
    erreur(this, QStringLiteral("Erreur dans vos valeur de temps"), QStringLiteral("erreur"));
}

void Fchrono::Btcalcul_Click() {
    ReinitialiserCalcul();
    CompleterChamps();
    if (ui->Tdistance->text().isEmpty()) {
        erreur(this, QStringLiteral("veuillez rentrer une distance"));
        return;
    }
    BaseCourseJour = ui->Opt_chronocj->isChecked() ? kChrono : kChronoL;
    BaseReduction = ui->Opt_chronok->isChecked() ? kChrono : kChronoL;

    // Every field the calculation uses is read before any result changes, so a field that is
    // not a number stops it with the results as they were.
    const auto distance = lireChamp(ui->Tdistance);
    if (!distance)
        return;
    if (*distance <= 0) {
        erreur(this, QStringLiteral("Le champ « %1 » doit être supérieur à 0.")
                         .arg(nomChamp(ui->Tdistance)));
        return;
    }
    for (QLineEdit* champ : {ui->Tpoids, ui->tpoids2}) {
        if (!lireChamp(champ))
            return;
        if (valeur(champ) > chrono::kPoidsMaximum) {
            erreur(this, QStringLiteral("Le poids doit être compris entre 0 et 200 kg."));
            return;
        }
    }
    const auto tc = tempsDeBase(BaseCourseJour);
    if (!tc)
        return;
    std::optional<float> distance2;
    if (!ui->Tdistance2->text().isEmpty()) {
        distance2 = lireChamp(ui->Tdistance2);
        if (!distance2)
            return;
    }
    const auto tr = tempsDeBase(BaseReduction);
    if (!tr)
        return;

    EcartPoids = CalculerEcartPoids();
    if (EcartPoids != 0) {
        EcartPoids = EcartPoids / 1.5f; // 1.5 kg count as one second
        if (!ConvertirEcartPoids()) {
            signalerDepassement(QStringLiteral("« Poids »"));
            return;
        }
    }

    if (!std::isfinite(*tc)) {
        signalerDepassement(QStringLiteral("« Chrono »"));
        return;
    }
    if (*tc == 0) {
        signalerErreurTemps();
        return;
    }
    const float estimation = distance2 ? *tc * *distance2 / *distance : 0.0f;
    const float reduction = std::isfinite(*tr) ? *tr * 1000.0f / *distance : *tr;
    if (!std::isfinite(estimation) || !std::isfinite(reduction)) {
        signalerDepassement(QStringLiteral("« Distance » et « Chrono »"));
        return;
    }

    if (distance2) {
        const auto resultat = chrono::FormaterResultat(estimation);
        Centiemes = resultat.centiemes;
        ui->LresultDistance->setText(resultat.texte);
    }

    // The weight correction applies to whatever estimate is shown, an earlier one included.
    if (!ui->LresultDistance->text().isEmpty()) {
        const QStringList parts = ui->LresultDistance->text().split(QLatin1Char(':'));
        const auto tot = parts.size() == 3 ? chrono::ConvertirEnCentiemes(QString(), parts.at(0),
                                                                          parts.at(1), parts.at(2))
                                           : std::nullopt;
        if (tot && *tot > double(AjustementPoids)) {
            const bool plusLeger = valeur(ui->Tpoids) > valeur(ui->tpoids2);
            ui->LresultDistance->setText(chrono::FormaterCentiemes(
                plusLeger ? *tot - double(AjustementPoids) : *tot + double(AjustementPoids)));
        }
    }

    if (*tr == 0) {
        signalerErreurTemps();
        return;
    }
    Centiemes = 0;
    const auto resultat = chrono::FormaterResultat(reduction);
    Centiemes = resultat.centiemes;
    ui->Lreduction->setText(resultat.texte);
}

// ---------------------------------------------------------------------------------------------
// The list and its file

void Fchrono::insererDansListe(const QStringList& lignes) {
    const auto avant = [this](const QString& a, const QString& b) {
        return m_ordreListe.compare(a, b) < 0;
    };
    QStringList nouvelles = lignes;
    std::stable_sort(nouvelles.begin(), nouvelles.end(), avant);
    QStringList actuelles;
    actuelles.reserve(ui->LstCheval->count());
    for (int i = 0; i < ui->LstCheval->count(); ++i)
        actuelles << ui->LstCheval->item(i)->text();
    // Each new line goes after the equal ones already there, as if added one by one.
    QStringList toutes;
    toutes.reserve(actuelles.size() + nouvelles.size());
    std::merge(actuelles.cbegin(), actuelles.cend(), nouvelles.cbegin(), nouvelles.cend(),
               std::back_inserter(toutes), avant);
    ui->LstCheval->clear();
    ui->LstCheval->addItems(toutes);
}

void Fchrono::signalerErreurFichier(const QString& action, const QString& erreurSysteme) {
    erreur(this, QStringLiteral("Impossible %1 le fichier %2 :\n%3")
                     .arg(action, QDir::toNativeSeparators(listfile::path()), erreurSysteme));
}

void Fchrono::Bt_Ajoute_Click() {
    if (!ui->Opt_chronok->isChecked()) {
        const auto reponse = dialogs::message(
            this,
            QStringLiteral("vous allez ajouter une réduction calculé sur un chrono avec longueur "
                           "ceci est non recommandé, voulez vous continuer?"),
            dialogs::applicationTitle(), dialogs::Buttons::OkCancel, dialogs::Icon::None);
        if (reponse != dialogs::Answer::Ok)
            return;
    }
    const auto nom = dialogs::input(this, QStringLiteral("Entrer le nom du cheval"),
                                    dialogs::applicationTitle());
    const auto terrain = dialogs::input(this, QStringLiteral("Entrer l'état du terrain"),
                                        dialogs::applicationTitle());
    if (!nom || nom->isEmpty())
        return;

    const QString ligne = ui->Lreduction->text() + QStringLiteral(" ---- ") +
                          ui->Tdistance->text() + QStringLiteral("m ---- ") + ui->Tpoids->text() +
                          QStringLiteral("Kg") + QStringLiteral(" ---- ") + *nom +
                          QStringLiteral(" ---- ") + QStringLiteral("terrain : ") +
                          terrain.value_or(QString());
    if (!listfile::codePageAvailable()) {
        erreur(this, listfile::codePageMissing());
        return;
    }
    // The file could not hold the line as typed: refuse it rather than change it.
    const QStringList interdits = listfile::unwritableCharacters(ligne);
    if (!interdits.isEmpty()) {
        erreur(this, QStringLiteral("Cette ligne n'est pas ajoutée : le fichier de liste "
                                    "(Windows-1252) ne peut pas enregistrer %1 « %2 ».")
                         .arg(interdits.size() == 1 ? QStringLiteral("le caractère")
                                                    : QStringLiteral("les caractères"),
                              interdits.join(QStringLiteral(" "))));
        return;
    }
    insererDansListe({ligne});
    m_ajoutsNonEnregistres = true;
}

void Fchrono::btsave_Click() {
    enregistrerListe();
}

bool Fchrono::enregistrerListe() {
    QStringList lignes;
    for (int i = 0; i < ui->LstCheval->count(); ++i)
        lignes << ui->LstCheval->item(i)->text();
    if (const auto echec = listfile::append(listfile::path(), lignes)) {
        signalerErreurFichier(QStringLiteral("d'enregistrer la liste dans"), *echec);
        return false;
    }
    m_ajoutsNonEnregistres = false;
    dialogs::message(this, QStringLiteral("Sauvegarde effectuée"), QStringLiteral("Sauvegarde"),
                     dialogs::Buttons::Ok, dialogs::Icon::Information);
    return true;
}

void Fchrono::bt_chargeliste_Click() {
    const listfile::Loaded lu = listfile::load(listfile::path());
    if (lu.error) {
        signalerErreurFichier(QStringLiteral("de lire"), *lu.error);
        return;
    }
    insererDansListe(lu.lines);
}

void Fchrono::Bt_videliste_Click() {
    ui->LstCheval->clear();
    m_ajoutsNonEnregistres = false;
}

void Fchrono::Bt_videListefichier_Click() {
    // The file first: when it cannot be emptied, the list stays as it was.
    if (const auto echec = listfile::replace(listfile::path(), {QString()})) {
        signalerErreurFichier(QStringLiteral("de vider"), *echec);
        return;
    }
    ui->LstCheval->clear();
    m_ajoutsNonEnregistres = false;
}
