#include "server/console/console_main.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>
#include <optional>

#include "server/console/console_window.h"
#include "server/console/prompts.h"
#include "server/console/server_boxes.h"
#include "server/console/uv_embedding.h"
#include "server/core/server_core.h"
#include "server/net/net.h"
#include "server/server_run.h"
#include "shared_ui/french_translation.h"
#include "shared_ui/single_instance.h"

namespace parlo::server {
namespace {

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

// The operator's window over the server: refusals in a box, the loop driven
// from Qt's, a stop signal closing the window as its "Close" button does.
class ConsoleFrontEnd final : public ServerFrontEnd {
  public:
    ConsoleFrontEnd(const ServerCommandLine& options, ui::SingleInstance& instance)
        : options_(options), instance_(instance) {}

    ServerEvents& Events() { return events_; }

    int Refuse(const std::string& reason) override { return RefuseInBox(reason); }

    void Attach(ServerCore& core) override {
        window_.emplace(core, prompts_);
        events_.Attach(&*window_);
    }

    bool RunsWithoutListener() const override { return true; }

    void Listening(NetServer& /*net*/, const Listeners& listeners) override {
        listeners_ = listeners;
    }

    void Run(NetServer& net, ServerCore& core) override {
        UvLoopDriver driver(net.Loop(), [&core] { core.FlushLog(); });
        instance_.Listen();
        QObject::connect(&instance_, &ui::SingleInstance::ShowRequested, &*window_,
                         &ConsoleWindow::BringToFront);
        QObject::connect(&*window_, &QDialog::finished, qApp, &QCoreApplication::quit);
        if (!options_.minimize) {
            window_->show();
        }
        for (const std::string* failure : {&listeners_.failure, &listeners_.tls_refusal}) {
            if (!failure->empty()) {
                ShowListenFailure(*window_, *failure);
            }
        }
        QApplication::exec();
    }

    void Stop(NetServer& /*net*/) override {
        QMetaObject::invokeMethod(&*window_, &QDialog::accept, Qt::QueuedConnection);
    }

    void Detach() override {
        // A save abandoned while closing is still reported.
        QCoreApplication::sendPostedEvents(&*window_, QEvent::MetaCall);
        events_.Attach(nullptr);
        window_.reset();
    }

  private:
    const ServerCommandLine& options_;
    ui::SingleInstance& instance_;
    MessageBoxPrompts prompts_;
    ConsoleEvents events_;
    std::optional<ConsoleWindow> window_;
    Listeners listeners_;
};

}  // namespace

bool ConsoleDisplayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int RunConsole(int argc, char** argv, const ServerCommandLine& options) {
    // Before Qt starts its threads: they keep the stop signals held, so only
    // the thread that handles them receives them.
    HoldStopSignals();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ui::InstallFrenchTranslation(app);

    // Checked before the database is touched: a second copy loads, listens
    // and saves nothing.
    ui::SingleInstance instance(ui::PerUserInstanceName(QStringLiteral("parlomatic-server")));
    if (instance.AskRunningCopyToShow()) {
        return 0;
    }
    ConsoleFrontEnd front(options, instance);
    return RunServer(options, front.Events(), front);
}

}  // namespace parlo::server
