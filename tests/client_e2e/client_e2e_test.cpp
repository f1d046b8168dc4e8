// Several client cores with real QTcpSocket links and one real headless
// Server on a free loopback port, in a scratch directory.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "client/session/session.h"
#include "client/session/tcp_server_link.h"

namespace parlo::client {
namespace {

constexpr int kWaitMs = 5000;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "client_e2e_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or the wait runs out.
bool WaitUntil(const std::function<bool()>& done, int ms = kWaitMs) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Lets the event loop run for a while (to see that nothing more happens).
void Settle(int ms = 200) {
    WaitUntil([] { return false; }, ms);
}

int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class ServerProcess {
  public:
    ~ServerProcess() {
        process_.terminate();
        if (!process_.waitForFinished(kWaitMs)) {
            process_.kill();
            process_.waitForFinished(kWaitMs);
        }
    }

    bool Start() {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = FreePort();
            process_.setWorkingDirectory(dir_.path());
            process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process_.setStandardOutputFile(QProcess::nullDevice());
            process_.start(SERVER_PATH, {"--headless", "--port", QString::number(port_)});
            if (!process_.waitForStarted(kWaitMs)) {
                return false;
            }
            if (WaitUntil([this] { return Accepts() || process_.state() != QProcess::Running; }) &&
                process_.state() == QProcess::Running) {
                return true;
            }
            process_.waitForFinished(kWaitMs);
        }
        return false;
    }

    int Port() const { return port_; }

  private:
    bool Accepts() const {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port_));
        return probe.waitForConnected(200);
    }

    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};

// A user interface that answers every question with Yes and remembers what
// it was asked to show.
class RecordingUi final : public UiPort {
  public:
    struct Window {
        std::vector<std::string> transcript;
        std::string title;
        bool visible = false;
        bool destroyed = false;
    };

    BoxAnswer ShowMessageBox(std::string_view text, std::string_view, BoxIcon,
                             BoxButtons buttons) override {
        boxes.emplace_back(text);
        return buttons == BoxButtons::kYesNo ? BoxAnswer::kYes : BoxAnswer::kOk;
    }
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) override {
        windows[id] = std::make_shared<Window>();
        return std::make_unique<View>(windows[id]);
    }
    void RepaintMainWindow() override {}
    void OwnStateChanged(int) override {}
    void PlayReceiveSound() override {}
    void SendMail(std::string_view) override {}
    void OpenSettingsDialog() override {}

    bool HasBox(std::string_view text) const {
        return std::find(boxes.begin(), boxes.end(), text) != boxes.end();
    }

    std::vector<std::string> boxes;
    std::map<ConversationId, std::shared_ptr<Window>> windows;

  private:
    class View final : public ConversationView {
      public:
        explicit View(std::shared_ptr<Window> window) : window_(std::move(window)) {}
        ~View() override { window_->destroyed = true; }
        void AppendMessage(std::string_view sender, std::string_view text) override {
            window_->transcript.push_back(std::string(sender) + ": " + std::string(text));
        }
        void AppendInfo(std::string_view text) override {
            window_->transcript.push_back("info: " + std::string(text));
        }
        void SetTitle(std::string_view title, std::string_view) override { window_->title = title; }
        void Show() override { window_->visible = true; }
        void Raise() override {}
        bool IsVisible() const override { return window_->visible; }

      private:
        std::shared_ptr<Window> window_;
    };
};

// One client program without its widgets.
struct Client {
    explicit Client(int port) : store(dir.filePath("Parlomatic.ini")), session(ui, links, store) {
        session.SetServer("127.0.0.1", port);
    }

    // Creates the account and logs in with it.
    bool Register(const std::string& login) {
        if (!session.CreateAccount({login, login + "-pw", "Prénom", "Nom", login + "@lan"})) {
            return false;
        }
        // The search is answered after the account command on the same
        // connection, so the account exists once it returns.
        bool searched = false;
        session.FindUsers({"?", "", "", ""}, [&](auto) { searched = true; });
        if (!WaitUntil([&] { return searched; })) {
            return false;
        }
        session.LogInStored();
        return WaitUntil([&] { return session.OwnState() == kStateOnline; });
    }

    int StateOf(std::string_view login) const {
        const Contact* contact = session.Contacts().Find(login);
        return contact != nullptr ? contact->state : -1;
    }

    // The one conversation of exactly these participants, if any.
    Conversation* ConversationOf(std::vector<std::string> names) {
        for (const auto& conversation : session.Conversations()) {
            if (conversation->Matches(names)) {
                return conversation.get();
            }
        }
        return nullptr;
    }
    RecordingUi::Window& WindowOf(const Conversation& conversation) {
        return *ui.windows.at(conversation.Id());
    }

    QTemporaryDir dir;
    RecordingUi ui;
    TcpLinkFactory links;
    SettingsStore store;
    Session session;
};

class ClientEndToEnd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { App(); }
    void SetUp() override { ASSERT_TRUE(server_.Start()) << "Server did not start"; }

    std::unique_ptr<Client> NewClient(const std::string& login) {
        auto client = std::make_unique<Client>(server_.Port());
        EXPECT_TRUE(client->Register(login)) << login << " could not register";
        return client;
    }

    // `a` asks for `b`, `b` accepts (the test interface says Yes), and both
    // see each other online.
    static void Befriend(Client& a, const std::string& a_login, Client& b,
                         const std::string& b_login) {
        a.session.AddContact(b_login);
        EXPECT_TRUE(WaitUntil([&] {
            return a.StateOf(b_login) == kStateOnline && b.StateOf(a_login) == kStateOnline;
        })) << a_login
            << " and " << b_login << " do not see each other";
    }

    ServerProcess server_;
};

TEST_F(ClientEndToEnd, TwoUsersAddEachOtherSeePresenceAndTalk) {
    auto alice = NewClient("alice");
    auto bob = NewClient("bob");
    Befriend(*alice, "alice", *bob, "bob");
    EXPECT_TRUE(alice->ui.HasBox("bob a accepté l'ajout dans votre carnet d'adresse"));
    EXPECT_EQ(alice->session.Contacts().Find("bob")->email, "bob@lan");

    bob->session.MenuStateAway();
    EXPECT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateAway; }));
    bob->session.MenuStateOnline();
    EXPECT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateOnline; }));

    alice->session.OpenConversationWith("bob");
    ASSERT_TRUE(WaitUntil([&] { return alice->ConversationOf({"alice", "bob"}) != nullptr; }));
    ASSERT_TRUE(WaitUntil([&] { return bob->ConversationOf({"bob", "alice"}) != nullptr; }));
    Conversation& at_alice = *alice->ConversationOf({"alice", "bob"});
    EXPECT_EQ(alice->WindowOf(at_alice).title, "bob est connecté(e)");

    alice->session.SubmitMessage(at_alice.Id(), "Salut : ça va ! oui:non!");
    const Conversation& at_bob = *bob->ConversationOf({"bob", "alice"});
    ASSERT_TRUE(WaitUntil([&] {
        return !bob->WindowOf(at_bob).transcript.empty() &&
               bob->WindowOf(at_bob).transcript.back().starts_with("alice");
    }));
    EXPECT_EQ(bob->WindowOf(at_bob).transcript.back(), "alice: Salut : ça va ! oui:non!");
    EXPECT_TRUE(bob->WindowOf(at_bob).visible);
    EXPECT_EQ(bob->session.Conversations().size(), 1u);

    // Typing shows in the other window.
    bob->session.ConversationInputChanged(at_bob.Id(), 3);
    EXPECT_TRUE(WaitUntil([&] { return at_alice.Participants()[1].typing; }));

    // Going offline is seen by the other side through the closed connection.
    bob->session.MenuStateOffline();
    EXPECT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateOffline; }));
}

TEST_F(ClientEndToEnd, ThirdUserJoinsLeavesAndTheLastLeaveClosesTheWindow) {
    auto alice = NewClient("alice");
    auto bob = NewClient("bob");
    auto carl = NewClient("carl");
    Befriend(*alice, "alice", *bob, "bob");

    alice->session.OpenConversationWith("bob");
    ASSERT_TRUE(WaitUntil([&] { return bob->ConversationOf({"bob", "alice"}) != nullptr; }));
    Conversation& at_alice = *alice->ConversationOf({"alice", "bob"});
    alice->session.SubmitMessage(at_alice.Id(), "avant");
    const ConversationId bob_pair = bob->ConversationOf({"bob", "alice"})->Id();
    ASSERT_TRUE(WaitUntil([&] { return bob->ui.windows.at(bob_pair)->visible; }));

    // Alice invites carl: her window grows, bob and carl get a window of three.
    alice->session.SendInvite("carl", "alice!bob");
    ASSERT_TRUE(WaitUntil([&] {
        return at_alice.Count() == 3 && bob->ConversationOf({"alice", "bob", "carl"}) &&
               carl->ConversationOf({"alice", "bob", "carl"});
    }));
    alice->session.SubmitMessage(at_alice.Id(), "à trois");
    Conversation& at_carl = *carl->ConversationOf({"alice", "bob", "carl"});
    ASSERT_TRUE(WaitUntil([&] {
        return !carl->WindowOf(at_carl).transcript.empty() &&
               carl->WindowOf(at_carl).transcript.back() == "alice: à trois";
    }));

    // Carl leaves: the others drop him; at bob's the grown window now has the
    // same participants as his first one, and the older window is closed.
    carl->session.LeaveConversation(at_carl.Id());
    ASSERT_TRUE(WaitUntil([&] { return at_alice.Count() == 2; }));
    EXPECT_EQ(alice->WindowOf(at_alice).transcript.back(), "info: carl a quitté la conversation");
    ASSERT_TRUE(WaitUntil([&] { return bob->session.Conversations().size() == 1; }));
    EXPECT_TRUE(bob->ui.windows.at(bob_pair)->destroyed);
    EXPECT_TRUE(bob->ui.HasBox(
        "Une autre conversation entre :\nbob et alice\nexiste déjà, cette fenêtre va être "
        "fermée"));

    // Bob leaves the two-person conversation: alice's visible window closes.
    bob->session.LeaveConversation(bob->session.Conversations()[0]->Id());
    const ConversationId alice_id = at_alice.Id();
    ASSERT_TRUE(WaitUntil([&] { return alice->session.Conversations().empty(); }));
    EXPECT_TRUE(alice->ui.windows.at(alice_id)->destroyed);
    EXPECT_TRUE(alice->ui.HasBox("bob a quitté la conversation, la fenêtre va être fermée"));
}

TEST_F(ClientEndToEnd, LeaveAndAddressBookRequestsWaitForAnOfflineUser) {
    auto alice = NewClient("alice");
    auto bob = NewClient("bob");
    auto carl = NewClient("carl");

    // Bob invites alice without being her contact: both get a hidden window.
    bob->session.SendInvite("alice", "bob!");
    ASSERT_TRUE(WaitUntil([&] {
        return alice->ConversationOf({"alice", "bob"}) && bob->ConversationOf({"bob", "alice"});
    }));
    const Conversation& at_alice = *alice->ConversationOf({"alice", "bob"});
    EXPECT_FALSE(alice->WindowOf(at_alice).visible);

    alice->session.Disconnect();
    Settle();
    bob->session.LeaveConversation(bob->ConversationOf({"bob", "alice"})->Id());
    carl->session.AddContact("alice");
    Settle();
    EXPECT_EQ(at_alice.Count(), 2u);

    // At her next login alice gets both: the hidden window loses bob without
    // closing, and carl's request is asked and accepted.
    alice->session.LogInStored();
    ASSERT_TRUE(WaitUntil([&] { return at_alice.Count() == 1; }));
    EXPECT_FALSE(alice->WindowOf(at_alice).destroyed);
    EXPECT_EQ(alice->WindowOf(at_alice).transcript.back(), "info: bob a quitté la conversation");
    EXPECT_TRUE(WaitUntil([&] {
        return alice->StateOf("carl") == kStateOnline && carl->StateOf("alice") == kStateOnline;
    }));
    EXPECT_TRUE(alice->ui.HasBox(
        "carl vous a ajouté à son carnet d'adresse\npour voir ses messages vous devez faire de "
        "même...\n\nAjouter carl"));
}

TEST_F(ClientEndToEnd, SearchFindsOtherAccountsAndWrongPasswordIsRefused) {
    auto alice = NewClient("alice");
    auto bob = NewClient("bob");
    std::vector<AccountRow> rows;
    bool answered = false;
    ASSERT_TRUE(alice->session.FindUsers({"", "Prénom", "", ""}, [&](auto found) {
        rows = std::move(found);
        answered = true;
    }));
    ASSERT_TRUE(WaitUntil([&] { return answered; }));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].login, "bob");

    Client intruder(server_.Port());
    std::string login_blob;
    std::string password_blob;
    Compress("bob", login_blob);
    Compress("wrong", password_blob);
    intruder.session.LogIn(login_blob, password_blob);
    ASSERT_TRUE(WaitUntil([&] { return !intruder.ui.boxes.empty(); }));
    EXPECT_EQ(intruder.ui.boxes[0], "Identifiant ou mot de passe non valide.");
    EXPECT_EQ(intruder.session.OwnState(), kStateConnecting);
    EXPECT_EQ(bob->session.OwnState(), kStateOnline);
}

}  // namespace
}  // namespace parlo::client
