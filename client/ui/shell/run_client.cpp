#include "client/ui/shell/run_client.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include "client/core/tcp_server_link.h"
#include "client/ui/shell/artwork.h"
#include "client/ui/shell/client_shell.h"
#include "client/ui/shell/termination_signals.h"
#include "client/ui/shell/trace.h"
#include "shared_ui/french_translation.h"
#include "shared_ui/single_instance.h"

namespace parlo::client {

QString ClientInstanceName(const QString& settings_path) {
    const QString directory = QDir::cleanPath(QFileInfo(settings_path).absolutePath());
    const QByteArray digest =
        QCryptographicHash::hash(directory.toUtf8(), QCryptographicHash::Sha1).toHex().left(10);
    return ui::PerUserInstanceName(QStringLiteral("parlomatic")) + QLatin1Char('-') +
           QString::fromLatin1(digest);
}

int RunClient(int argc, char** argv, const ClientCommandLine& options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlomatic"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ProgramIcon());
    ui::InstallFrenchTranslation(app);
    // From here on a termination signal waits for the event loop.
    TerminationSignals termination;

    const QString settings_path = DefaultSettingsPath();
    TcpLinkFactory links;
    ClientShell shell(links, settings_path);
    shell.Initialize();

    ui::SingleInstance instance(ClientInstanceName(settings_path));
    if (instance.AskRunningCopyToShow()) {
        ShellTrace("handed over to the running copy");
        shell.Shutdown();
        return 0;
    }
    instance.Listen();
    ShellTrace("listening");
    QObject::connect(&instance, &ui::SingleInstance::ShowRequested, &shell,
                     &ClientShell::OnShowRequested);
    // A session manager ending the desktop session still saves the settings,
    // and so does a termination signal.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &shell, &ClientShell::Shutdown);
    QObject::connect(&termination, &TerminationSignals::Received, &shell, [&shell] {
        ShellTrace("ending on a signal");
        shell.Quit();
    });

    shell.GetSession().StartUp();
    if (shell.IsShutDown()) {
        return 0;  // "&Quitter" while the start-up settings dialog was open
    }
    if (!options.minimize) {
        shell.Window().show();
    }
    const int code = QApplication::exec();
    shell.Shutdown();
    // Conversation windows closed at the end are deleted, not left behind.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}

}  // namespace parlo::client
