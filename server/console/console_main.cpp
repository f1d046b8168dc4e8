#include "server/console/console_main.h"

#include <QApplication>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include "server/console/console_window.h"
#include "server/console/prompts.h"
#include "server/console/server_boxes.h"
#include "server/console/uv_embedding.h"
#include "server/core/server_core.h"
#include "server/net/net.h"
#include "server/service/data_lock.h"
#include "server/service/date_lines.h"
#include "shared_ui/french_translation.h"
#include "shared_ui/single_instance.h"

namespace parlo::server {
namespace {

// SIGTERM and SIGINT close the console as its "Close" button does, so the
// database is saved when the session ends or the operator presses Ctrl+C.
class CloseOnSignals {
  public:
    CloseOnSignals(uv_loop_t* loop, ConsoleWindow& window) : window_(window) {
        for (uv_signal_t& handle : handles_) {
            uv_signal_init(loop, &handle);
            handle.data = this;
        }
        uv_signal_start(&handles_[0], OnSignal, SIGTERM);
        uv_signal_start(&handles_[1], OnSignal, SIGINT);
    }
    // The closes complete in the loop's next turn, while this still exists.
    ~CloseOnSignals() {
        for (uv_signal_t& handle : handles_) {
            uv_close(reinterpret_cast<uv_handle_t*>(&handle), nullptr);
        }
        uv_run(handles_[0].loop, UV_RUN_NOWAIT);
    }
    CloseOnSignals(const CloseOnSignals&) = delete;
    CloseOnSignals& operator=(const CloseOnSignals&) = delete;

  private:
    static void OnSignal(uv_signal_t* handle, int) {
        auto* self = static_cast<CloseOnSignals*>(handle->data);
        QMetaObject::invokeMethod(&self->window_, &QDialog::accept, Qt::QueuedConnection);
    }

    ConsoleWindow& window_;
    uv_signal_t handles_[2]{};
};

// Shows why the server cannot run in a box opened with open(), runs the
// application until the operator closes it, and returns the exit status 1.
int RefuseInBox(const std::string& reason) {
    std::fprintf(stderr, "%s\n", reason.c_str());
    const std::unique_ptr<QMessageBox> box(MakeRefusalBox(QString::fromStdString(reason)));
    QObject::connect(box.get(), &QDialog::finished, qApp, &QCoreApplication::quit);
    box->open();
    QApplication::exec();
    return 1;
}

// Tells the operator, once the console is up, that it serves nobody.
void ShowListenFailure(QWidget& window, const std::string& reason) {
    QMessageBox* box = MakeListenFailureBox(QString::fromStdString(reason), &window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace

bool ConsoleDisplayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int RunConsole(int argc, char** argv, const ServerCommandLine& options) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::InstallFrenchTranslation(app);

    // Checked before the database is touched: a second copy loads, listens
    // and saves nothing.
    ui::SingleInstance instance(ui::PerUserInstanceName(QStringLiteral("parlomatic-server")));
    if (instance.AskRunningCopyToShow()) {
        return 0;
    }

    MessageBoxPrompts prompts;
    ConsoleEvents events;
    ServerOptions server_options = options.Core();
    server_options.log_flushed_per_turn = true;  // by the loop driver below
    // Another server on the same directory would overwrite this one's saves.
    std::string refusal;
    const std::optional<DataDirectoryLock> lock =
        DataDirectoryLock::Take(server_options.directory, refusal);
    if (!lock) {
        return RefuseInBox(refusal);
    }
    ServerCore core(std::move(server_options), events);
    ConsoleWindow window(core, prompts);
    events.Attach(&window);

    CoreNetEvents sink(core);
    NetServer net(sink, options.limits);
    net.SetKeepAlive(options.keepalive_s);
    if (!core.Start()) {
        return RefuseInBox(core.StartRefusal());
    }
    const int listen_error = net.Listen(options.port);
    const bool listening = listen_error == 0;
    UvLoopDriver driver(net.Loop(), [&core] { core.FlushLog(); });
    std::optional<CloseOnSignals> close_on_signals;
    close_on_signals.emplace(net.Loop(), window);
    // Log.txt's lines carry the time of day only: the date follows now.
    const MidnightDateLines date_lines(net.Loop(), core);

    instance.Listen();
    QObject::connect(&instance, &ui::SingleInstance::ShowRequested, &window,
                     &ConsoleWindow::BringToFront);
    QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
    if (!options.minimize) {
        window.show();
    }
    if (!listening) {
        ShowListenFailure(window, ListenFailure(options.port, listen_error));
    }
    QApplication::exec();
    close_on_signals.reset();

    // Listener closed, database saved, lists cleared. The adapter hands the
    // closing to the core only when it had been listening. Without a
    // listener nothing changes but through the administration dialog, which
    // saves each change at once: closing writes nothing then.
    net.Stop();
    // A save abandoned while closing is still reported.
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall);
    events.Attach(nullptr);
    if (core.ClosingSaveFailed()) {
        std::fprintf(stderr, "Server: UserDB.dat non sauvé à la fermeture, voir Log.txt\n");
        return 1;
    }
    return 0;
}

}  // namespace parlo::server
