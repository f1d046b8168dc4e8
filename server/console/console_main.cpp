#include "server/console/console_main.h"

#include <QApplication>

#include "server/console/console_window.h"
#include "server/console/prompts.h"
#include "server/console/single_instance.h"
#include "server/console/uv_embedding.h"
#include "server/headless.h"
#include "server/net.h"
#include "server/server_core.h"

namespace parlo::server {
namespace {

bool DisplayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace

int RunConsole(int argc, char** argv, const ServerCommandLine& options) {
    if (!DisplayAvailable()) {
        return RunHeadless(options);
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // Checked before the database is touched: a second copy loads, listens
    // and saves nothing.
    SingleInstance instance(ServerInstanceName());
    if (instance.AskRunningCopyToShow()) {
        return 0;
    }

    MessageBoxPrompts prompts;
    ConsoleEvents events;
    ServerCore core(ServerOptions{}, events);
    ConsoleWindow window(core, prompts);
    events.Attach(&window);

    CoreNetEvents sink(core);
    NetServer net(sink);
    core.Start();
    const bool listening = net.Listen(options.port) == 0;
    UvLoopDriver driver(net.Loop());

    instance.Listen();
    QObject::connect(&instance, &SingleInstance::ShowRequested, &window,
                     &ConsoleWindow::BringToFront);
    QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
    if (!options.minimize) {
        window.show();
    }
    QApplication::exec();

    // Listener closed, database saved, lists cleared. The adapter hands the
    // closing to the core only when it had been listening.
    net.Stop();
    if (!listening) {
        core.Shutdown();
    }
    events.Attach(nullptr);
    return 0;
}

}  // namespace parlo::server
