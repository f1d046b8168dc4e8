// parlo-conversation-shots DIR: a conversation of three colleagues with
// emoticons, a long line, who joined, and one of them typing; saves
// conversation.png and its emoticon menu, conversation-emoticons.png, in DIR,
// then "Historique" with that conversation kept: history.png,
// history-search.png, history-search-contact.png and history-conversation.png. The client core runs
// over a scripted link that plays the server's part, so the window shows exactly what a session
// drives it to show. Run it under a display with a window manager: the picture is taken from the
// screen, window frame included.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWidget>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>

#include "client/core/session.h"
#include "client/history/history_recorder.h"
#include "client/ui/conversation/conversation_window.h"
#include "client/ui/history/history_window.h"
#include "protocol/codec.h"
#include "shared_ui/french_translation.h"
#include "tools/screenshots/framed_shot.h"
#include "tools/screenshots/shots_ui.h"

namespace {

using namespace parlo::client;

// The server's side of one connection, played from a script.
class ScriptedLinks final : public LinkFactory {
  public:
    std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) override {
        events_ = &events;
        return std::make_unique<Link>();
    }
    // The server sends `commands`, each in its own frame.
    void Deliver(std::initializer_list<std::string_view> commands) {
        std::string bytes;
        for (std::string_view command : commands) {
            parlo::AppendCommandFrame(bytes, command);
        }
        if (events_ != nullptr) {
            events_->OnLinkData(bytes);
        }
    }

  private:
    struct Link final : ServerLink {
        void Connect(const std::string&, int, Transport) override {}
        void TrustCertificate() override {}
        void PauseReading(bool) override {}
        long long Send(std::string_view bytes) override {
            return static_cast<long long>(bytes.size());
        }
    };
    LinkEvents* events_ = nullptr;
};

// "Message" as the server relays it from `sender` to the three colleagues.
std::string MessageFrom(std::string_view sender, std::string_view list, int count,
                        std::string_view text) {
    std::string out = "Message:" + std::to_string(text.size()) + ":";
    out.append(sender).append(":").append(std::to_string(count)).append(":");
    out.append(list).append(":").append(text);
    return out;
}

QWidget* ConversationWindowOnScreen() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("conversation") && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

// Earlier days' conversations beside the one just held.
void AddEarlierConversations(HistoryStore& store) {
    const qint64 day = 24 * 3600 * 1000LL;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const auto said = [](StoredConversationId id, const char* with, qint64 time, const char* sender,
                         const char* text) {
        return NewLine{.conversation = id,
                       .participants = with,
                       .time_ms = time,
                       .kind = LineKind::kMessage,
                       .sender = sender,
                       .text = text};
    };
    const StoredConversationId chloe = store.NewConversationId();
    const StoredConversationId bruno = store.NewConversationId();
    const StoredConversationId david = store.NewConversationId();
    store.Append(std::vector<NewLine>{
        said(david, "david", now - 6 * day, "david", "Le serveur d'impression redémarre à midi"),
        said(david, "david", now - 6 * day + 60'000, "amelie", "D'accord, merci :)"),
        said(chloe, "chloe", now - 3 * day, "chloe", "Tu as le compte rendu de la réunion ?"),
        said(chloe, "chloe", now - 3 * day + 90'000, "amelie", "Je te l'envoie cet après-midi"),
        said(bruno, "bruno", now - day, "bruno", "On déjeune ensemble demain ? (C)"),
        said(bruno, "bruno", now - day + 30'000, "amelie", "Avec plaisir :D"),
        said(bruno, "bruno", now - day + 45'000, "bruno", "À midi au café, pour le planning"),
    });
}

// "Historique": the list, a search with its marked matches, and the
// conversation just held, read again with its emoticons.
bool HistoryShots(HistoryRecorder& history, const QDir& out) {
    HistoryStore* store = history.StoreFor("amelie");
    if (store == nullptr) {
        std::fprintf(stderr, "parlo-conversation-shots: no history\n");
        return false;
    }
    AddEarlierConversations(*store);
    HistoryWindow window(history, "amelie");
    window.show();
    bool ok = parlo::shots::SaveFramed(window, out, QStringLiteral("history.png"));
    window.Search(QStringLiteral("planning"));
    window.List().setCurrentItem(window.List().topLevelItem(0));
    ok = parlo::shots::SaveFramed(window, out, QStringLiteral("history-search.png")) && ok;
    // From a contact's history, a search stays in that contact's conversations:
    // david's "midi" is not listed.
    window.ShowWith("bruno");
    window.Search(QStringLiteral("midi"));
    window.List().setCurrentItem(window.List().topLevelItem(0));
    ok = parlo::shots::SaveFramed(window, out, QStringLiteral("history-search-contact.png")) && ok;
    window.ShowWith({});
    window.List().setCurrentItem(window.List().topLevelItem(0));
    return parlo::shots::SaveFramed(window, out, QStringLiteral("history-conversation.png")) && ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    parlo::ui::InstallFrenchTranslation(app);
    const std::optional<QDir> pictures = parlo::shots::PicturesDirectory(argc, argv);
    if (!pictures) {
        return 2;
    }
    const QDir& out = *pictures;
    QTemporaryDir work;

    ShotsUi ui{BoxAnswer::kOk};
    ScriptedLinks links;
    SettingsStore store(work.filePath(QStringLiteral("Parlomatic.ini")));
    Session session(ui, links, store);
    HistoryRecorder history(work.filePath(QStringLiteral("history")), [] { return true; });
    session.Chats().SetRecorder(&history);
    ui.session = &session;
    session.SetServer("192.168.1.20", 7777);
    std::string login_blob;
    std::string password_blob;
    parlo::Compress("amelie", login_blob);
    parlo::Compress("motdepasse", password_blob);
    session.SetCredentials(login_blob, password_blob);
    session.LogInStored();
    links.Deliver({"Login:OK",
                   "AddressBook:bruno!Bruno!Lefèvre!bruno@bureau.lan:"
                   "chloe!Chloé!Garnier!chloe@bureau.lan",
                   "SetState!bruno:0!chloe:2"});

    // Amélie opens a conversation with Bruno, who joins at once.
    session.OpenConversationWith("bruno");
    links.Deliver({"Invite:bruno:amelie!"});
    QWidget* window = ConversationWindowOnScreen();
    if (window == nullptr || session.Conversations().empty()) {
        std::fprintf(stderr, "parlo-conversation-shots: no conversation window\n");
        return 1;
    }
    const ConversationId id = session.Conversations().front()->Id();
    const std::string pair = "amelie:bruno";
    const std::string three = "amelie:bruno:chloe";
    links.Deliver({MessageFrom("bruno", pair, 2, "Salut Amélie :) tu as reçu le planning ?")});
    session.SubmitMessage(id, "Oui, merci ! On en parle avec Chloé ;)");
    links.Deliver({"Invite:chloe:amelie!bruno"});
    links.Deliver({MessageFrom("chloe", three, 3, "Bonjour à tous :D")});
    links.Deliver({MessageFrom(
        "chloe", three, 3,
        "J'ai regardé le planning de la semaine prochaine : la réunion de mardi tombe en même "
        "temps que la formation, on pourrait la déplacer à jeudi matin, vers 10 h ?")});
    session.SubmitMessage(id, "Jeudi me va très bien :P");
    links.Deliver({"Writing:bruno:1:amelie!bruno!chloe!"});

    // Amélie has started her answer.
    if (auto* input = window->findChild<QPlainTextEdit*>(QStringLiteral("input"))) {
        input->insertPlainText(QStringLiteral("Je réserve la salle :$"));
    }
    bool ok = parlo::shots::SaveFramed(*window, out, QStringLiteral("conversation.png"));

    // The emoticon menu, opened under its button.
    auto* button = window->findChild<QWidget*>(QStringLiteral("emoticons"));
    auto* menu = window->findChild<QMenu*>(QStringLiteral("emoticonMenu"));
    if (button == nullptr || menu == nullptr) {
        std::fprintf(stderr, "parlo-conversation-shots: no emoticon menu\n");
        return 1;
    }
    menu->popup(button->mapToGlobal(QPoint(0, button->height())));
    ok = parlo::shots::SaveFramed(*menu, out, QStringLiteral("conversation-emoticons.png")) && ok;
    menu->hide();
    ok = HistoryShots(history, out) && ok;
    session.Disconnect();
    return ok ? 0 : 1;
}
