#include "app/frmsplash.h"
#include "data/connection.h"
#include "gui/appearance.h"

#include <QApplication>
#include <cstdio>
#include <optional>

namespace {

// --help and --version are answered before any window or display is needed.
std::optional<int> answerCommandLine(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--version" || arg == "-v") {
            std::fputs("Velmora " VELMORA_VERSION "\n", stdout);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(
                "Utilisation : velmora [options de Qt]\n"
                "Velmora tient le registre des mises d'un turfiste : mises, gains et crédits\n"
                "par joueur et par mois, relevé et statistiques, chevaux suivis, courses du\n"
                "jour et paris réglés d'après les résultats importés.\n"
                "\n"
                "Le fichier de données est velmora.mdb, cherché à côté du programme, puis\n"
                "dans ~/.local/share/Velmora ; au premier démarrage, Velmora propose d'y en\n"
                "créer un vide. velmora-db importe les résultats et le programme des courses,\n"
                "vérifie, copie, restaure et clôture le fichier (velmora-db --help).\n"
                "\n"
                "Options :\n"
                "  -h, --help      affiche cette aide\n"
                "  -v, --version   affiche la version\n"
                "Les options communes aux programmes Qt sont acceptées (-platform, -style…).\n",
                stdout);
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const auto answered = answerCommandLine(argc, argv))
        return *answered;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // Ties the window to its menu entry, for its icon on Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("fr.velmora.Velmora"));
    appearance::setupApplication(app);
    if (const int status = startProgram())
        return status == kAlreadyRunning ? 0 : status;
    const int status = QApplication::exec();
    // The connection must go while Qt's SQL layer is still alive.
    Connexion.reset();
    return status;
}
