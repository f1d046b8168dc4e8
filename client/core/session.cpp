// Connection, own state, sending, settings and the session's triggers.
#include "client/core/session.h"

#include <QSysInfo>

namespace parlo::client {

std::string_view OwnStateLabel(int state) {
    switch (state) {
        case kStateOnline:
            return "en ligne";
        case kStateOffline:
            return "deconnecté(e)";
        case kStateInactive:
            return "inactif(ve)";
        case kStateAway:
            return "absent(e)";
        case kStateConnecting:
            return "connection";
        default:
            return "";
    }
}

std::string ComputerName() {
    QString name = qEnvironmentVariable("COMPUTERNAME");
    if (name.isEmpty()) {
        name = QSysInfo::machineHostName();
    }
    std::string out = name.toUtf8().toStdString();
    for (char& c : out) {
        if (c == ':' || c == '!' || c == '\0') {
            c = '-';
        }
    }
    return out.empty() ? std::string("localhost") : out;
}

Session::Session(UiPort& ui, LinkFactory& links, SettingsStore& store)
    : ui_(ui),
      links_(links),
      store_(store),
      attention_(ui),
      chats_(*this),
      search_(*this),
      idle_(*this),
      reconnection_([this] { ReconnectNow(); }, [this] { ui_.OwnStateTextChanged(); }) {}

Session::~Session() {
    own_state_ = kStateExit;  // boxes answered from now on do nothing
    chats_.CloseAll();
    link_.reset();
}

// ---- Program life -----------------------------------------------------------

void Session::Initialize() {
    SetOwnState(kStateStartup);
    LoadSettings();
    idle_.Start();
}

void Session::StartUp() {
    const Credentials& credentials = settings_.credentials;
    if (credentials.IsComplete() && settings_.port != 0) {
        LogInStored();
    } else {
        ui_.OpenSettingsDialog();
    }
}

void Session::Shutdown() {
    reconnection_.Cancel();
    SetOwnState(kStateExit);
    SaveSettings();
    attention_.ForgetAll();
    chats_.CloseAll();
    DropLink();
}

// ---- Connection and own state -----------------------------------------------

void Session::SetOwnState(int state) {
    const bool changed = state != own_state_;
    own_state_ = state;
    ui_.OwnStateChanged(state);
    if (changed) {
        ui_.RepaintMainWindow();
    }
}

std::string Session::OwnStateText() const {
    std::string countdown = reconnection_.Countdown();
    return countdown.empty() ? std::string(OwnStateLabel(own_state_)) : countdown;
}

void Session::DropLink() {
    link_.reset();
    logged_in_ = false;
    ++link_generation_;
    reader_ = FrameReader();
    // Frames held for the old connection will not run.
    held_.clear();
    held_bytes_ = 0;
    reading_paused_ = false;
    search_.ConnectionEnded();
}

void Session::ShowContactsOffline() {
    contacts_.SetAllOffline();
    ui_.RepaintMainWindow();
    chats_.RefreshTitles();
}

bool Session::ConnectSocket() {
    if (!reconnecting_now_) {
        reconnection_.Cancel();  // the user's own attempt
    }
    SetOwnState(kStateConnecting);
    connection_problem_.clear();
    if (link_) {
        DropLink();
        ShowContactsOffline();
    }
    link_ = links_.CreateLink(*this);
    if (!link_) {
        SetOwnState(kStateOffline);
        return false;
    }
    ++link_generation_;
    UpdateReading();
    link_->Connect(settings_.server_address, ConnectPort(),
                   settings_.encryption.enabled ? Transport::kEncrypted : Transport::kPlain);
    return true;
}

void Session::OnLinkConnected() {
    testing_connection_ = false;
}

void Session::OnLinkFailed(std::string_view failure) {
    const std::string reason(failure);  // the link's own text goes with it
    // The unconnected socket is discarded, so later sends say that there is
    // no connection instead of failing silently.
    DropLink();
    ShowContactsOffline();
    connection_problem_ = std::string(texts::kServerUnreachable) + reason;
    if (reconnection_.Pending()) {
        ReconnectLater();
        return;
    }
    SetOwnState(kStateOffline);
    if (std::exchange(testing_connection_, false)) {
        ShowBox(std::string(texts::kCannotReach) + settings_.server_address + ":" +
                    std::to_string(ConnectPort()) + " : " + reason,
                texts::kImpossible);
    }
}

std::optional<std::string> Session::ConnectCommand(
    const std::optional<std::string>& login_blob, const std::optional<std::string>& password_blob) {
    if (!login_blob || !password_blob) {
        ShowBox(texts::kTooLong, texts::kInformationError);
        return std::nullopt;
    }
    std::string command = FormatConnect(ComputerName(), *login_blob, *password_blob);
    if (!FrameOf(command)) {
        return std::nullopt;
    }
    return command;
}

void Session::LogIn(std::string_view login_blob, std::string_view password_blob) {
    // Checked before connecting, so that a refusal leaves the session as it was.
    const auto command = ConnectCommand(std::string(login_blob), std::string(password_blob));
    if (!command || !ConnectSocket()) {
        return;
    }
    SendFrame(*command);
}

void Session::LogInStored() {
    testing_connection_ = false;
    LogIn(settings_.credentials.login_blob, settings_.credentials.password_blob);
}

void Session::Disconnect() {
    reconnection_.Cancel();
    DropLink();
    connection_problem_.clear();
    ShowContactsOffline();
    SetOwnState(kStateOffline);
}

void Session::ReconnectLater() {
    SetOwnState(kStateConnecting);
    reconnection_.ScheduleNext();
}

void Session::ReconnectNow() {
    reconnecting_now_ = true;
    LogInStored();
    reconnecting_now_ = false;
}

int Session::ChangeState(int state) {
    if (state == own_state_) {
        return 0;
    }
    if (reconnection_.Pending()) {
        // Told to the server once the reconnection has logged in.
        if (state == kStateOnline || state == kStateAway) {
            wanted_state_ = state;
        }
        return 0;
    }
    if (state >= kStateOnline && state <= kStateAway) {
        SetOwnState(state);
    }
    return SendFrame(FormatSetStateRequest(PlainLogin(), state));
}

int Session::SendFrame(std::string_view command) {
    if (command.empty()) {
        return -1;
    }
    if (!ConfirmConnected()) {
        return -1;
    }
    const auto frame = FrameOf(command);
    if (!frame) {
        return -1;
    }
    return static_cast<int>(link_->Send(*frame));
}

std::optional<std::string> Session::FrameOf(std::string_view command) {
    std::string frame;
    if (command.size() > static_cast<size_t>(kMaxFrameBytes) ||
        !AppendCommandFrame(frame, command)) {
        // The server could not read it whole: refuse rather than lose it.
        ShowBox(texts::kTooLong, texts::kInformationError);
        return std::nullopt;
    }
    return frame;
}

bool Session::ConfirmConnected() {
    if (link_) {
        return true;
    }
    ShowBox(texts::kNotConnected, texts::kImpossible);
    return false;
}

bool Session::SendCommandConnected(std::string_view command) {
    if (!link_) {
        ConnectSocket();
    }
    SendFrame(command);
    return true;
}

// ---- Triggers -----------------------------------------------------------------

void Session::MenuConnect() {
    if (reconnection_.Waiting()) {
        reconnection_.AttemptNow();
    } else {
        LogInStored();
    }
}

void Session::MenuStateOnline() {
    if (own_state_ == kStateOffline) {
        LogInStored();
    } else if (own_state_ == kStateInactive || own_state_ == kStateAway) {
        ChangeState(kStateOnline);
    }
}

void Session::MenuStateOffline() {
    if (own_state_ != kStateOffline) {
        Disconnect();
    }
}

void Session::MenuStateAway() {
    if (own_state_ != kStateAway) {
        ChangeState(kStateAway);
    }
}

void Session::MouseMoved() {
    if (own_state_ == kStateInactive) {
        ChangeState(kStateOnline);
    }
}

void Session::ScreenSaverStarting() {
    Disconnect();
    reconnect_on_paint_ = true;
    screen_saver_running_ = true;
}

void Session::ScreenSaverEnded() {
    screen_saver_running_ = false;
    MainWindowPainting();
}

void Session::MainWindowPainting() {
    // The disconnection itself repaints the window: that paint must not
    // bring the user back while the screen saver runs.
    if (reconnect_on_paint_ && !screen_saver_running_) {
        reconnect_on_paint_ = false;
        LogInStored();
    }
}

bool Session::ShowConversation(ConversationId id) {
    Conversation* conversation = chats_.ById(id);
    if (conversation == nullptr) {
        return false;
    }
    conversation->View().Show();
    conversation->View().Raise();
    return true;
}

bool Session::ShowUnreadConversation() {
    return attention_.HasUnread() && ShowConversation(attention_.Unread().front());
}

// ---- Settings -------------------------------------------------------------------

void Session::LoadSettings() {
    store_.Load(settings_);
    ui_.RepaintMainWindow();
}

bool Session::SaveSettings() {
    return store_.Save(settings_);
}

bool Session::SetCredentials(std::string_view login_blob, std::string_view password_blob) {
    auto credentials = MakeCredentials(login_blob, password_blob);
    if (!credentials) {
        return false;
    }
    settings_.credentials = std::move(*credentials);
    ui_.RepaintMainWindow();
    return true;
}

void Session::SetServer(std::string_view address, int port) {
    settings_.server_address = std::string(address);
    settings_.port = port;
}

void Session::SetGroupExpanded(ContactGroup group, bool expanded) {
    bool& flag =
        group == ContactGroup::kOnline ? settings_.online_expanded : settings_.offline_expanded;
    if (flag != expanded) {
        flag = expanded;
        ui_.RepaintMainWindow();
    }
}

bool Session::TestLogIn(const std::optional<std::string>& login_blob,
                        const std::optional<std::string>& password_blob) {
    if (!ConnectCommand(login_blob, password_blob)) {
        return false;
    }
    test_flag_ = true;
    testing_connection_ = true;
    LogIn(*login_blob, *password_blob);
    return true;
}

bool Session::ApplySettingsDialog(const std::optional<std::string>& login_blob,
                                  const std::optional<std::string>& password_blob,
                                  std::string_view address, int port, bool sound,
                                  std::optional<AttentionSettings> attention) {
    if (!ConnectCommand(login_blob, password_blob)) {
        return false;
    }
    SetCredentials(*login_blob, *password_blob);
    SetServer(address, port);
    if (attention) {
        settings_.attention = *attention;
    }
    SaveSettings();
    testing_connection_ = false;
    LogIn(*login_blob, *password_blob);
    // Stored at the next save, at the latest when the program ends.
    SetSound(sound);
    return true;
}

}  // namespace parlo::client
