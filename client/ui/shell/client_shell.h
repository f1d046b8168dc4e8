// The client program's parts put together: the session with its settings
// store, the main window, the tray icon, the screen-saver and wake watchers,
// the sound, the desktop notices and the idle time. It is the session's
// user-interface port.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "client/core/client_settings.h"
#include "client/core/session.h"
#include "client/core/ui_port.h"
#include "client/history/history_recorder.h"
#include "client/history/history_store.h"
#include "client/ui/shell/desktop_notices.h"
#include "client/ui/shell/idle_time_sources.h"
#include "client/ui/shell/main_window.h"
#include "client/ui/shell/receive_sound.h"
#include "client/ui/shell/screen_saver_watcher.h"
#include "client/ui/shell/tray_icon.h"
#include "client/ui/shell/wake_watcher.h"

namespace parlo::client {

class ClientShell final : public QObject, public UiPort {
    Q_OBJECT

  public:
    ClientShell(LinkFactory& links, QString settings_path = DefaultSettingsPath(),
                QString history_root = DefaultHistoryRoot());
    ~ClientShell() override;

    Session& GetSession() { return session_; }
    MainWindow& Window() { return window_; }
    TrayIcon& Tray() { return tray_; }
    ScreenSaverWatcher& ScreenSaver() { return screen_saver_; }
    ReceiveSound& Sound() { return sound_; }
    HistoryRecorder& History() { return history_; }

    // Window initialisation: own state 4 (the tray icon appears), settings.
    void Initialize();
    // Own state 5 (the tray icon goes), settings saved, conversations
    // closed. Runs once; later calls do nothing.
    void Shutdown();
    bool IsShutDown() const { return shut_down_; }
    // "&Quitter" from either menu: Shutdown, then the event loop ends.
    void Quit();
    // Another copy was started: a visible window comes to the foreground; a
    // hidden one stays hidden unless the desktop has no tray to reach it by.
    void OnShowRequested();

    // UiPort.
    void ShowMessageBox(const BoxRequest& request, BoxContinuation answered) override;
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) override;
    void RepaintMainWindow() override;
    void OwnStateChanged(int state) override;
    void OwnStateTextChanged() override;
    void PlayReceiveSound() override;
    void SendMail(std::string_view address) override;
    void OpenSettingsDialog() override;
    void ShowNotice(const Notice& notice) override;
    void CloseNotice(ConversationId key) override;
    void ShowUnreadMark(bool unread) override;
    void QueryIdleTime(IdleTimeContinuation answered) override;

  private:
    // The tray icon chosen: the oldest unread conversation, else the main
    // window.
    void OnTrayActivated();
    void OnNoticeActivated(ConversationId key);
    // "Historique…" (every conversation) or the contact menu's "&Historique".
    void OpenHistory(const QString& contact);

    SettingsStore store_;
    HistoryRecorder history_;  // written by the conversations until they go
    Session session_;
    MainWindow window_;
    TrayIcon tray_;
    ScreenSaverWatcher screen_saver_;
    WakeWatcher wake_;
    ReceiveSound sound_;
    DesktopNotices notices_;
    IdleTimeSources idle_time_;
    bool shut_down_ = false;
};

}  // namespace parlo::client
