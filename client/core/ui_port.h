// What the client core asks of the platform: message boxes, conversation
// windows, repaints, the own-state icons, the sound, mail, the settings
// dialog, desktop notices and the session's idle time. The widgets implement
// it; tests use a fake.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace parlo::client {

using ConversationId = std::uint64_t;

enum class BoxIcon { kNone, kInformation, kQuestion };
enum class BoxButtons { kOk, kYesNo };
enum class BoxAnswer { kOk, kYes, kNo };

// A message box to show: its text, caption, icon and buttons.
struct BoxRequest {
    std::string_view text;
    std::string_view caption;
    BoxIcon icon = BoxIcon::kNone;
    BoxButtons buttons = BoxButtons::kOk;
};
// Receives the button chosen once the box is closed.
using BoxContinuation = std::function<void(BoxAnswer)>;

// The notice of a broadcast; conversations' notices carry their own id.
inline constexpr ConversationId kBroadcastNotice = 0;

// A desktop notice: one per conversation (or for the broadcasts), replaced by
// the next one of the same key. Texts are plain: no markup.
struct Notice {
    ConversationId key = kBroadcastNotice;
    std::string_view summary;
    std::string_view body;
};
// Receives the milliseconds since the user's last input in the desktop
// session, or none when the desktop does not say.
using IdleTimeContinuation = std::function<void(std::optional<std::int64_t>)>;

// The window of one conversation. The core keeps the participants and their
// typing flags and tells the window what to show.
//
// Destroying the object closes the window. The core may destroy it from
// inside the window's own event (its close box runs LeaveConversation), so an
// implementation defers the widget's deletion (deleteLater).
class ConversationView {
  public:
    virtual ~ConversationView() = default;

    // "%s dit :" with the sender, then the text, in the transcript.
    virtual void AppendMessage(std::string_view sender, std::string_view text) = 0;
    // "info :" with the text, in the transcript.
    virtual void AppendInfo(std::string_view text) = 0;
    // The caption (participants' presence) and the typing line.
    virtual void SetTitle(std::string_view title, std::string_view typing_line) = 0;
    // Shows the window without bringing it to the foreground.
    virtual void Show() = 0;
    // Brings the window to the foreground.
    virtual void Raise() = 0;
    virtual bool IsVisible() const = 0;
    // Whether it is the window the user works in.
    virtual bool IsActive() const = 0;
    // Asks the desktop to draw the user's eye to the window (task bar).
    virtual void RequestAttention() = 0;
};

class UiPort {
  public:
    virtual ~UiPort() = default;

    // Opens a box owned by the main window and returns at once; other windows
    // keep working while it is open. `answered` (may be empty) later gets the
    // button chosen (kOk, or kYes/kNo; closing a Yes/No box counts as kNo).
    virtual void ShowMessageBox(const BoxRequest& box, BoxContinuation answered) = 0;
    // A new, hidden conversation window for the registry's conversation `id`
    // (never null).
    virtual std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) = 0;
    // The main window must be painted again (contacts, own login or state).
    virtual void RepaintMainWindow() = 0;
    // The own state changed or was set again: tray icon (4 adds it, 5 removes
    // it), window icon, check marks and enabled menu items.
    virtual void OwnStateChanged(int state) = 0;
    // The own-state label and the tray's tooltip read differently without a
    // change of state (Session::OwnStateText: a reconnection's countdown).
    virtual void OwnStateTextChanged() {}
    // Play "Receive.wav" asynchronously.
    virtual void PlayReceiveSound() = 0;
    // Start an e-mail to `address` in the user's mail program.
    virtual void SendMail(std::string_view address) = 0;
    // Open the settings dialog over the main window and return at once
    // (start-up without usable credentials).
    virtual void OpenSettingsDialog() = 0;
    // Shows `notice` on the desktop, replacing the earlier one of its key,
    // and returns at once.
    virtual void ShowNotice(const Notice& notice) = 0;
    // Withdraws the notice of `key`, if one is shown.
    virtual void CloseNotice(ConversationId key) = 0;
    // The tray picture with or without the unread mark.
    virtual void ShowUnreadMark(bool unread) = 0;
    // Asks the desktop for the session's idle time and returns at once;
    // `answered` runs later, exactly once.
    virtual void QueryIdleTime(IdleTimeContinuation answered) = 0;
};

}  // namespace parlo::client
