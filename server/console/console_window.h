// The operator's console "Server Parlomatic": the online clients, the log,
// and the buttons that end the program or open the dialogs.
#pragma once

#include <QDialog>
#include <QTimer>

#include <string_view>

#include "server/core/server_core.h"

class QTreeWidget;

namespace parlo::server {

class LogView;
class OperatorPrompts;

class ConsoleWindow : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kRowsRefreshMs = 100;

    ConsoleWindow(ServerCore& core, OperatorPrompts& prompts, QWidget* parent = nullptr);

    void AppendLog(std::string_view line);
    // The online-clients rows changed: they are shown again shortly.
    void ScheduleRowsRefresh();
    void RefreshRows();
    // Tells the operator that a save was abandoned (call outside the core).
    void ShowSaveAbandoned();
    // Shows the window, restored, in front of the others.
    void BringToFront();

    void OpenAdministration();
    void OpenBroadcast();
    void OpenCredits();

    QTreeWidget& OnlineClients() { return *online_; }
    LogView& Log() { return *log_; }

  private:
    ServerCore& core_;
    OperatorPrompts& prompts_;
    QTreeWidget* online_;
    LogView* log_;
    QTimer rows_timer_;
};

// Hands the core's events to the console window (none before it is attached).
class ConsoleEvents final : public ServerEvents {
  public:
    void Attach(ConsoleWindow* window) { window_ = window; }

    void OnLogLine(std::string_view line) override;
    void OnRowsChanged() override;
    void OnSaveAbandoned() override;

  private:
    ConsoleWindow* window_ = nullptr;
};

}  // namespace parlo::server
