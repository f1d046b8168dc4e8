// The client's hub: the connection to the server, the own presence, the
// handling of every command the server sends, the registry of open
// conversations and the commands the rest of the client sends. It owns the
// settings and the contact list; everything it shows goes through a UiPort.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <QTimer>

#include "client/contacts/contact_list.h"
#include "client/session/conversation.h"
#include "client/session/server_link.h"
#include "client/session/ui_port.h"
#include "client/settings/client_settings.h"
#include "protocol/codec.h"
#include "protocol/commands.h"

namespace parlo::client {

// The own state's label beside the plain login ("en ligne", ...).
std::string_view OwnStateLabel(int state);
// The first field of "Connect": $COMPUTERNAME, else the host name, with the
// protocol's separators replaced so the command stays well formed.
std::string ComputerName();

// The new-user dialog's fields, the find-contacts dialog's criteria and its
// result rows are AccountFields (protocol/commands.h).
using SearchCallback = std::function<void(std::vector<AccountFields>)>;

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
}  // namespace texts

class Session final : private LinkEvents {
  public:
    // How long a contact search waits for its answer.
    static constexpr int kDefaultSearchTimeoutMs = 5000;

    Session(UiPort& ui, LinkFactory& links, SettingsStore& store);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ---- Program life -------------------------------------------------
    // Window initialisation: own state 4, then the stored settings.
    void Initialize();
    // Logs in with complete stored credentials and a port, or opens the
    // settings dialog.
    void StartUp();
    // Program end: own state 5, settings saved, conversations destroyed.
    void Shutdown();

    // ---- Connection and own state -------------------------------------
    void SetOwnState(int state);
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

    // ---- Triggers of the menus, the tray and the main window -----------
    void MenuConnect() { LogInStored(); }
    void MenuDisconnect() { Disconnect(); }
    void MenuStateOnline();
    void MenuStateOffline();
    void MenuStateAway();
    void MouseMoved();
    void ScreenSaverStarting();
    void MainWindowPainting();

    // ---- Settings ------------------------------------------------------
    void LoadSettings();
    bool SaveSettings();
    // False (nothing changed) when the login blob does not uncompress.
    bool SetCredentials(std::string_view login_blob, std::string_view password_blob);
    void SetServer(std::string_view address, int port);
    void SetSound(bool on) { settings_.sound = on; }
    void SetGroupExpanded(ContactGroup group, bool expanded);
    // The settings dialog's "Test" (sets the test flag and logs in) and "OK"
    // (true when the dialog may close). A blob is none when its field could
    // not be compressed within the limit; both then refuse, as they do when
    // the "Connect" command would be over it: the too-long box, nothing
    // changed, false.
    bool TestLogIn(const std::optional<std::string>& login_blob,
                   const std::optional<std::string>& password_blob);
    bool ApplySettingsDialog(const std::optional<std::string>& login_blob,
                             const std::optional<std::string>& password_blob,
                             std::string_view address, int port, bool sound);

    // ---- Conversations ---------------------------------------------------
    // The conversation of exactly these participants; older duplicates are
    // closed (with a box when visible).
    Conversation* FindConversation(std::span<const std::string> names);
    Conversation& CreateConversation(std::span<const std::string> names);
    Conversation* ConversationById(ConversationId id);
    const std::vector<std::unique_ptr<Conversation>>& Conversations() const {
        return conversations_;
    }
    // Double-click on a contact or the contact menu's first entry.
    void OpenConversationWith(std::string_view contact_login);
    // The contact menu's e-mail entry: an e-mail to the contact's address.
    void MailContact(std::string_view contact_login);
    void SendChatMessage(ConversationId id, std::string_view text);
    // The window's "Envoyer": sends a non-empty text and writes it into the
    // transcript under the owner login.
    void SubmitMessage(ConversationId id, std::string_view text);
    void SendWriting(ConversationId id, int flag);
    void SendInvite(std::string_view invitee, std::string_view list);
    // The invite menu's choice: invites with the conversation's participants.
    void InviteToConversation(ConversationId id, std::string_view invitee);
    void LeaveConversation(ConversationId id);
    // Recomputes the caption and typing line of a conversation's window.
    void RefreshTitle(Conversation& conversation);
    // The window's input changed length: sends "Writing" when typing starts
    // or stops.
    void ConversationInputChanged(ConversationId id, size_t length);
    // Contacts the "Inviter" menu offers: online or inactive, not yet in the
    // conversation, and with no conversation of the resulting set.
    std::vector<std::string> InviteCandidates(ConversationId id);

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
    bool FindUsers(const AccountFields& criteria, SearchCallback done);
    void SetSearchTimeout(int ms) { search_timeout_ms_ = ms; }

    // ---- State -----------------------------------------------------------
    int OwnState() const { return own_state_; }
    bool IsConnected() const { return link_ != nullptr; }
    // True with a connection; otherwise the not-connected box, false.
    bool ConfirmConnected();
    bool TestFlag() const { return test_flag_; }
    bool ReconnectOnPaint() const { return reconnect_on_paint_; }
    const std::string& PlainLogin() const { return settings_.credentials.plain_login; }
    const ClientSettings& Settings() const { return settings_; }
    const ContactList& Contacts() const { return contacts_; }

  private:
    // LinkEvents.
    void OnLinkData(std::string_view bytes) override;
    void OnLinkClosed() override;

    void DropLink();
    // The frame that carries `command`; none, after the too-long box, when
    // the command could not travel in one frame.
    std::optional<std::string> FrameOf(std::string_view command);
    // The "Connect" command for these blobs; none, after the too-long box,
    // when a blob is missing or the command would not fit in one frame.
    std::optional<std::string> ConnectCommand(const std::optional<std::string>& login_blob,
                                              const std::optional<std::string>& password_blob);
    void ProcessFrames();
    void HandleCommand(std::string_view text);
    BoxAnswer ShowBox(std::string_view text, std::string_view caption,
                      BoxIcon icon = BoxIcon::kNone, BoxButtons buttons = BoxButtons::kOk);

    void OnLogin(std::string_view text);
    void OnAddNewUser(std::string_view text);
    void OnAddressBook(std::string_view text);
    void OnSetState(std::string_view text);
    void OnMessage(std::string_view text);
    void OnDoAddAddressBook(std::string_view text);
    void OnInvite(std::string_view text);
    void OnLeave(std::string_view text);
    void OnWriting(std::string_view text);
    void OnFindUserAnswer(std::string_view text);

    void RemoveConversation(ConversationId id);
    void FinishSearch(std::vector<AccountFields> rows);

    UiPort& ui_;
    LinkFactory& links_;
    SettingsStore& store_;

    ClientSettings settings_;
    ContactList contacts_;
    int own_state_ = kStateOffline;
    bool test_flag_ = false;
    bool reconnect_on_paint_ = false;

    std::unique_ptr<ServerLink> link_;
    FrameReader reader_;
    // Frames wait while a command is being handled and while a box raised by
    // the core is open; a box opened outside handling resumes them afterwards.
    bool dispatching_ = false;
    int open_boxes_ = 0;
    QTimer resume_timer_;

    std::vector<std::unique_ptr<Conversation>> conversations_;
    ConversationId next_conversation_id_ = 1;

    SearchCallback search_done_;
    int stale_search_answers_ = 0;
    int search_timeout_ms_ = kDefaultSearchTimeoutMs;
    QTimer search_timer_;
};

}  // namespace parlo::client
