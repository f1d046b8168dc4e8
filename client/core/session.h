// The client's session: the connection to the server, the own presence, the
// reading of the server's frames and the handling of its commands, the boxes
// the core opens, and the settings. It owns the contact list, the
// conversations and the contact search; everything it shows goes through a
// UiPort, which never makes it wait.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "client/core/attention.h"
#include "client/core/client_settings.h"
#include "client/core/contact_list.h"
#include "client/core/contact_search.h"
#include "client/core/conversation_commands.h"
#include "client/core/idle_away.h"
#include "client/core/reconnection.h"
#include "client/core/server_link.h"
#include "client/core/ui_port.h"
#include "protocol/codec.h"
#include "protocol/commands.h"

namespace parlo::client {

// The own state's label beside the plain login ("en ligne", ...).
std::string_view OwnStateLabel(int state);
// The first field of "Connect": $COMPUTERNAME, else the host name, with the
// protocol's separators replaced so the command stays well formed.
std::string ComputerName();

// Message texts and captions shared with the tests.
namespace texts {
inline constexpr std::string_view kNotConnected = "Vous n'êtes pas connecté";
inline constexpr std::string_view kImpossible = "Impossible";
inline constexpr std::string_view kUserManagement = "Gestion utilisateur";
inline constexpr std::string_view kAddressBook = "Carnet d'adresse";
inline constexpr std::string_view kConversations = "Gestion des conversations";
inline constexpr std::string_view kAddError = "Erreur d'ajout";
inline constexpr std::string_view kAdministrator = "Message de l'administrateur";
inline constexpr std::string_view kInformationError = "Erreur d'information";
inline constexpr std::string_view kLoginOk = "Identifiant et mot de passe OK !";
inline constexpr std::string_view kLoginTaken =
    "Identifiant déjà existant !\nVeuillez en choisir un autre...";
inline constexpr std::string_view kNeedLoginAndPassword =
    "Entrez un identifiant et un mot de passe";
inline constexpr std::string_view kBadLoginCharacters =
    "L'identifiant ne gère pas ce genre de caractères";
inline constexpr std::string_view kFillAllFields = "Veuillez remplir tous les champs";
inline constexpr std::string_view kBadEmail = "Email non valide";
inline constexpr std::string_view kTooLong =
    "Les informations saisies sont trop longues pour être envoyées";
// What the status line says while the last attempt to connect failed.
inline constexpr std::string_view kServerUnreachable = "Serveur injoignable : ";
// The box of the settings dialog's "Test" when the server cannot be reached:
// "Impossible de joindre le serveur 192.168.1.10:7777 : connexion refusée".
inline constexpr std::string_view kCannotReach = "Impossible de joindre le serveur ";
// The boxes about the certificate of an encrypted connection.
inline constexpr std::string_view kEncryptedConnection = "Connexion chiffrée";
inline constexpr std::string_view kTrustServer = "Faire confiance à ce serveur ?";
inline constexpr std::string_view kCertificateChanged = "Le certificat du serveur ";
// The reason of the status line after a certificate was refused.
inline constexpr std::string_view kCertificateRefused = "certificat refusé";
}  // namespace texts

class Session final : private LinkEvents {
  public:
    static constexpr int kDefaultSearchTimeoutMs = ContactSearch::kDefaultTimeoutMs;
    // Reading stops while this many of the core's boxes are open, or while
    // the frames held behind open boxes pass this many bytes; it goes on once
    // the user has answered enough of them.
    static constexpr size_t kMaxOpenBoxes = 20;
    static constexpr size_t kMaxHeldBytes = 1024 * 1024;

    Session(UiPort& ui, LinkFactory& links, SettingsStore& store);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ---- Program life -------------------------------------------------
    // Window initialisation: own state 4, then the stored settings; the
    // watch of the idle time starts.
    void Initialize();
    // Logs in with complete stored credentials and a port, or opens the
    // settings dialog.
    void StartUp();
    // Program end: own state 5, settings saved, conversations destroyed.
    // Boxes answered afterwards do nothing.
    void Shutdown();

    // ---- Connection and own state -------------------------------------
    void SetOwnState(int state);
    // Starts connecting (own state 6) and returns at once; the connection
    // object exists from then on, and what is sent meanwhile goes once it is
    // connected. A failure ends in own state 1 (see ConnectionProblem).
    bool ConnectSocket();
    void LogIn(std::string_view login_blob, std::string_view password_blob);
    void LogInStored();
    void Disconnect();
    // Returns the send result, or 0 when the state was already `state`.
    int ChangeState(int state);
    // The send result (bytes queued) or -1; refuses with the not-connected
    // box when there is no connection and with a box when the command is
    // over the protocol's limit.
    int SendFrame(std::string_view command);
    // Connects without logging in when needed, then sends; always true.
    bool SendCommandConnected(std::string_view command);
    // True when `command` travels in one frame; otherwise the too-long box.
    bool FitsOneFrame(std::string_view command) { return FrameOf(command).has_value(); }
    // "Serveur injoignable : connexion refusée" after a failed attempt, until
    // the next one or a disconnection; empty otherwise.
    const std::string& ConnectionProblem() const { return connection_problem_; }

    // ---- Triggers of the menus, the tray and the main window -----------
    // While a reconnection waits, its attempt at once.
    void MenuConnect();
    void MenuDisconnect() { Disconnect(); }
    void MenuStateOnline();
    void MenuStateOffline();
    void MenuStateAway();
    void MouseMoved();
    // The screen saver starting disconnects; while it runs, paints of the
    // main window log nothing in. Its end logs in again once, whether or not
    // the window is visible.
    void ScreenSaverStarting();
    void ScreenSaverEnded();
    void MainWindowPainting();
    // The network came back or the computer woke up: a waiting reconnection
    // tries at once.
    void NetworkBack() { reconnection_.AttemptNow(); }

    // ---- Settings ------------------------------------------------------
    void LoadSettings();
    bool SaveSettings();
    // False (nothing changed) when the login blob does not uncompress.
    bool SetCredentials(std::string_view login_blob, std::string_view password_blob);
    void SetServer(std::string_view address, int port);
    // Stored at the next save; used from the next connection on.
    void SetEncryption(const EncryptionSettings& encryption) { settings_.encryption = encryption; }
    // The port connections go to: the encrypted one when encryption is on.
    int ConnectPort() const;
    void SetSound(bool on) { settings_.sound = on; }
    // Stored at the next save.
    void SetWindowGeometry(std::string_view geometry) {
        settings_.window_geometry = std::string(geometry);
    }
    void SetKeepHistory(bool on) { settings_.keep_history = on; }
    void SetGroupExpanded(ContactGroup group, bool expanded);
    // The settings dialog's "Test" (sets the test flag and logs in; a server
    // that cannot be reached is named in one box) and "OK" (true when the
    // dialog may close). `attention`, when given, is stored with the rest. A
    // blob is none when its field could not be
    // compressed within the limit; both then refuse, as they do when the
    // "Connect" command would be over it: the too-long box, nothing changed,
    // false.
    bool TestLogIn(const std::optional<std::string>& login_blob,
                   const std::optional<std::string>& password_blob);
    bool ApplySettingsDialog(const std::optional<std::string>& login_blob,
                             const std::optional<std::string>& password_blob,
                             std::string_view address, int port, bool sound,
                             std::optional<AttentionSettings> attention = std::nullopt);

    // ---- Boxes -------------------------------------------------------------
    // Opens a box and returns at once; `answered` runs with the answer. A box
    // opened by a frame holds the rest of that frame's read until then.
    void ShowBox(std::string_view text, std::string_view caption, BoxIcon icon = BoxIcon::kNone,
                 BoxButtons buttons = BoxButtons::kOk, BoxContinuation answered = nullptr);

    // ---- Conversations (see ConversationCommands) -------------------------
    ConversationCommands& Chats() { return chats_; }
    Conversation* FindConversation(std::span<const std::string> names) {
        return chats_.Find(names);
    }
    Conversation& CreateConversation(std::span<const std::string> names) {
        return chats_.Create(names, false);
    }
    Conversation* ConversationById(ConversationId id) { return chats_.ById(id); }
    const std::vector<std::unique_ptr<Conversation>>& Conversations() const { return chats_.All(); }
    void OpenConversationWith(std::string_view login) { chats_.OpenWith(login); }
    void SubmitMessage(ConversationId id, std::string_view text) { chats_.Submit(id, text); }
    void InviteToConversation(ConversationId id, std::string_view invitee) {
        chats_.Invite(id, invitee);
    }
    void LeaveConversation(ConversationId id) { chats_.Leave(id); }
    void ConversationInputChanged(ConversationId id, size_t length) {
        chats_.InputChanged(id, length);
    }
    std::vector<std::string> InviteCandidates(ConversationId id) {
        return chats_.InviteCandidates(id);
    }
    void SendInvite(std::string_view invitee, std::string_view list);
    // Shows the conversation's window and brings it to the foreground; false
    // when the conversation is gone.
    bool ShowConversation(ConversationId id);
    // The oldest conversation with unread messages, shown as above; false
    // when every one is read.
    bool ShowUnreadConversation();
    // Its window became the active one: read, its notice withdrawn.
    void ConversationActivated(ConversationId id) { attention_.Dismiss(id); }
    Attention& Alerts() { return attention_; }
    const IdleAway& Idle() const { return idle_; }
    // The contact menu's e-mail entry: an e-mail to the contact's address.
    void MailContact(std::string_view contact_login);

    // ---- Address book ---------------------------------------------------
    void RequestAddressBook();
    void RequestAllStates();
    // Asks for `login`; an empty login and the user's own (letter case
    // aside) send nothing and show nothing.
    void AddContact(std::string_view login);
    void RemoveContact(std::string_view login);

    // ---- Accounts ---------------------------------------------------------
    // The new-user dialog's "Envoie"; true when the dialog may close.
    bool CreateAccount(const AccountFields& form);
    // Sends "FindUser" and calls `done` once with the matching accounts other
    // than the user's own: at the answer, or empty when the send is refused,
    // the wait times out or the connection ends. Other commands arriving in
    // the meantime are handled as usual. Returns false (nothing sent, `done`
    // not called) when every criterion is empty or the command would be over
    // the limit (a box says so).
    bool FindUsers(const AccountFields& criteria, SearchCallback done) {
        return search_.Start(criteria, std::move(done));
    }
    void SetSearchTimeout(int ms) { search_.SetTimeout(ms); }

    // ---- State -----------------------------------------------------------
    int OwnState() const { return own_state_; }
    // The label beside the plain login: OwnStateLabel, or the countdown of a
    // reconnection ("reconnexion dans 3 s").
    std::string OwnStateText() const;
    // "reconnexion dans 3 s" while a reconnection waits; empty otherwise.
    std::string ReconnectionCountdown() const { return reconnection_.Countdown(); }
    // From the loss of a connection the user did not end until the next
    // login or the user's own choice.
    bool ReconnectionPending() const { return reconnection_.Pending(); }
    bool IsConnected() const { return link_ != nullptr; }
    // True with a connection; otherwise the not-connected box, false.
    bool ConfirmConnected();
    bool TestFlag() const { return test_flag_; }
    bool ReconnectOnPaint() const { return reconnect_on_paint_; }
    const std::string& PlainLogin() const { return settings_.credentials.plain_login; }
    const ClientSettings& Settings() const { return settings_; }
    const ContactList& Contacts() const { return contacts_; }
    UiPort& Ui() { return ui_; }

  private:
    using BoxId = std::uint64_t;
    // The rest of a read behind the box its frame opened: frame payloads of
    // the connection `link_generation`.
    struct HeldFrames {
        std::uint64_t link_generation = 0;
        std::deque<std::string> payloads;
        size_t bytes = 0;
    };

    // LinkEvents.
    void OnLinkConnected() override;
    // session_trust.cpp: the certificate is trusted when its fingerprint is
    // the one pinned for the server's address; with none pinned the user is
    // asked, and a different one is refused.
    void OnLinkCertificate(std::string_view fingerprint) override;
    void AskTrust(const std::string& address, const std::string& fingerprint);
    // Nothing is sent: the connection ends in own state 1, and a pending
    // reconnection is given up, so that no more boxes follow.
    void RefuseCertificate();
    void OnLinkFailed(std::string_view reason) override;
    void OnLinkData(std::string_view bytes) override;
    void OnLinkClosed() override;

    void DropLink();
    // The connection ended: every contact offline, and so every caption.
    void ShowContactsOffline();
    // A logged-in connection ended without the user asking, or an attempt to
    // get it back failed: the next attempt is scheduled in own state 6.
    void ReconnectLater();
    // The reconnection's attempt: a login with the stored credentials.
    void ReconnectNow();
    // The frame that carries `command`; none, after the too-long box, when
    // the command could not travel in one frame.
    std::optional<std::string> FrameOf(std::string_view command);
    // The "Connect" command for these blobs; none, after the too-long box,
    // when a blob is missing or the command would not fit in one frame.
    std::optional<std::string> ConnectCommand(const std::optional<std::string>& login_blob,
                                              const std::optional<std::string>& password_blob);

    // Handles frames in order until one opens a box, which holds the rest.
    void RunFrames(std::deque<std::string> payloads);
    void BoxAnswered(BoxId id, BoxAnswer answer, const BoxContinuation& answered);
    // Stops or resumes reading as the open boxes and held frames require.
    void UpdateReading();

    // session_incoming.cpp: one handler per command the server sends.
    void HandleCommand(std::string_view text);
    void OnLogin(std::string_view text);
    void OnAddNewUser(std::string_view text);
    void OnAddressBook(std::string_view text);
    void OnSetState(std::string_view text);
    void OnDoAddAddressBook(std::string_view text);

    UiPort& ui_;
    LinkFactory& links_;
    SettingsStore& store_;

    ClientSettings settings_;
    ContactList contacts_;
    int own_state_ = kStateOffline;
    bool test_flag_ = false;
    bool reconnect_on_paint_ = false;
    bool screen_saver_running_ = false;
    bool logged_in_ = false;  // the current connection's login was answered "OK"
    // The presence to set again after a reconnection (0 or 3).
    int wanted_state_ = kStateOnline;
    bool reconnecting_now_ = false;  // the login under way is the reconnection's

    std::unique_ptr<ServerLink> link_;
    std::uint64_t link_generation_ = 0;  // counts the connections made and ended
    FrameReader reader_;
    bool testing_connection_ = false;  // "Test" is waiting for the connection
    std::string connection_problem_;

    std::unordered_set<BoxId> open_boxes_;
    BoxId next_box_id_ = 1;
    BoxId box_of_frame_ = 0;  // the last box the running frame opened
    std::unordered_map<BoxId, HeldFrames> held_;
    size_t held_bytes_ = 0;
    bool reading_paused_ = false;
    // Who asked to be added and is waiting for the user's answer.
    std::unordered_set<std::string> asking_logins_;

    Attention attention_;
    ConversationCommands chats_;
    ContactSearch search_;
    IdleAway idle_;
    Reconnection reconnection_;
};

}  // namespace parlo::client
