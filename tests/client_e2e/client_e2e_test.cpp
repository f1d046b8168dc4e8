// Client cores with real QTcpSocket links talking through the real headless
// Server, started on a free loopback port in a scratch directory.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <QElapsedTimer>
#include <QTimer>

#include "client/core/reconnect_policy.h"
#include "client/core/tcp_server_link.h"
#include "tests/client_e2e/test_server.h"
#include "tests/support/client_fakes.h"
#include "tests/support/process.h"
#include "tests/support/qt_wait.h"

namespace parlo::client::testing {
namespace {

using parlo::testing::WaitUntil;

// One client program without its widgets; it says Yes to every question.
struct Client {
    explicit Client(int port) : store(dir.filePath("p.ini")), session(ui, links, store) {
        session.SetServer("127.0.0.1", port);
        ui.default_answer = ui.next_answer = BoxAnswer::kYes;
    }
    // Creates the account, then logs in with it.
    bool Register(const std::string& login) {
        bool searched = false;
        // The search is answered after the account command on the same
        // connection: once it is, the account exists.
        return session.CreateAccount({login, "pw", "Prénom", "Nom", login + "@lan"}) &&
               session.FindUsers({"?", "", "", "", ""}, [&](auto) { searched = true; }) &&
               WaitUntil([&] { return searched; }) && (session.LogInStored(), true) &&
               WaitUntil([&] { return session.OwnState() == kStateOnline; });
    }
    int StateOf(std::string_view login) const {
        const Contact* contact = session.Contacts().Find(login);
        return contact != nullptr ? contact->state : -1;
    }
    Conversation* With(const Texts& names) {
        for (const auto& conversation : session.Conversations()) {
            if (conversation->Matches(names)) {
                return conversation.get();
            }
        }
        return nullptr;
    }
    ViewRecord& ViewOf(const Conversation& conversation) { return *ui.views.at(conversation.Id()); }
    std::string LastLine(const Conversation& conversation) {
        const Texts& lines = ViewOf(conversation).transcript;
        return lines.empty() ? std::string() : lines.back();
    }

    QTemporaryDir dir;
    FakeUi ui;
    TcpLinkFactory links;
    SettingsStore store;
    Session session;
};

class ClientEndToEnd : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureApp(); }
    void SetUp() override { ASSERT_TRUE(server_.Start()) << "Server did not start"; }

    std::unique_ptr<Client> Registered(const std::string& login) {
        auto client = std::make_unique<Client>(server_.Port());
        EXPECT_TRUE(client->Register(login)) << login;
        return client;
    }
    // `a` asks for `b`, who accepts; both then see each other online.
    static bool Befriend(Client& a, const std::string& a_login, Client& b,
                         const std::string& b_login) {
        a.session.AddContact(b_login);
        return WaitUntil([&] {
            return a.StateOf(b_login) == kStateOnline && b.StateOf(a_login) == kStateOnline;
        });
    }

    TestServer server_;
};

TEST_F(ClientEndToEnd, UsersAddEachOtherSeePresenceTalkInviteAndLeave) {
    auto alice = Registered("alice");
    auto bob = Registered("bob");
    auto carl = Registered("carl");
    ASSERT_TRUE(Befriend(*alice, "alice", *bob, "bob"));
    EXPECT_TRUE(alice->ui.HasBox("bob a accepté l'ajout dans votre carnet d'adresse"));
    EXPECT_EQ(alice->session.Contacts().Find("bob")->email, "bob@lan");
    bob->session.MenuStateAway();
    EXPECT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateAway; }));
    bob->session.MenuStateOnline();
    EXPECT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateOnline; }));

    alice->session.OpenConversationWith("bob");
    ASSERT_TRUE(WaitUntil([&] {
        return alice->With({"alice", "bob"}) && bob->With({"bob", "alice"});
    }));
    Conversation& at_alice = *alice->With({"alice", "bob"});
    const ConversationId bob_pair = bob->With({"alice", "bob"})->Id();
    alice->session.SubmitMessage(at_alice.Id(), "Salut : ça va ! oui:non!");
    EXPECT_TRUE(WaitUntil([&] {
        return bob->LastLine(*bob->With({"alice", "bob"})) == "alice: Salut : ça va ! oui:non!";
    }));
    bob->session.ConversationInputChanged(bob_pair, 3);
    EXPECT_TRUE(WaitUntil([&] { return alice->ViewOf(at_alice).typing_line == "bob écrit"; }));

    // Carl joins: alice's window grows, bob and carl get a window of three.
    alice->session.InviteToConversation(at_alice.Id(), "carl");
    ASSERT_TRUE(WaitUntil([&] {
        return at_alice.Count() == 3 && bob->With({"alice", "bob", "carl"}) &&
               carl->With({"alice", "bob", "carl"});
    }));
    alice->session.SubmitMessage(at_alice.Id(), "à trois");
    Conversation& at_carl = *carl->With({"alice", "bob", "carl"});
    EXPECT_TRUE(WaitUntil([&] { return carl->LastLine(at_carl) == "alice: à trois"; }));

    // Carl leaves; at bob's, the window of three becomes a duplicate of his
    // first one, which is closed with a box.
    carl->session.LeaveConversation(at_carl.Id());
    ASSERT_TRUE(WaitUntil(
        [&] { return at_alice.Count() == 2 && bob->session.Conversations().size() == 1; }));
    EXPECT_EQ(alice->LastLine(at_alice), "info: carl a quitté la conversation");
    EXPECT_TRUE(bob->ui.views.at(bob_pair)->destroyed);
    EXPECT_TRUE(
        bob->ui.HasBox("Une autre conversation entre :\nbob et alice\nexiste déjà, "
                       "cette fenêtre va être fermée"));

    // Bob leaves the two-person conversation: alice's visible window closes.
    const ConversationId alice_id = at_alice.Id();
    bob->session.LeaveConversation(bob->session.Conversations()[0]->Id());
    ASSERT_TRUE(WaitUntil([&] { return alice->session.Conversations().empty(); }));
    EXPECT_TRUE(alice->ui.views.at(alice_id)->destroyed);
    EXPECT_TRUE(alice->ui.HasBox("bob a quitté la conversation, la fenêtre va être fermée"));

    bob->session.MenuStateOffline();
    EXPECT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateOffline; }));
}

TEST_F(ClientEndToEnd, LeaveAndAddressBookRequestsWaitForAnOfflineUser) {
    auto alice = Registered("alice");
    auto bob = Registered("bob");
    auto carl = Registered("carl");
    bob->session.SendInvite("alice", "bob!");  // both get a hidden window
    ASSERT_TRUE(WaitUntil([&] {
        return alice->With({"alice", "bob"}) && bob->With({"alice", "bob"});
    }));
    const Conversation& at_alice = *alice->With({"alice", "bob"});

    alice->session.Disconnect();
    WaitUntil([] { return false; }, 200);
    bob->session.LeaveConversation(bob->With({"alice", "bob"})->Id());
    carl->session.AddContact("alice");
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(at_alice.Count(), 2u);

    // At her next login the hidden window loses bob without closing, and
    // carl's request is asked and accepted.
    alice->session.LogInStored();
    ASSERT_TRUE(WaitUntil([&] { return at_alice.Count() == 1; }));
    EXPECT_EQ(alice->LastLine(at_alice), "info: bob a quitté la conversation");
    EXPECT_TRUE(WaitUntil([&] {
        return alice->StateOf("carl") == kStateOnline && carl->StateOf("alice") == kStateOnline;
    }));

    // The server going away ends every session; the clients try to come back.
    server_.process.StopWith(SIGTERM);
    EXPECT_TRUE(WaitUntil([&] { return alice->session.OwnState() == kStateConnecting; }));
    EXPECT_TRUE(alice->session.ReconnectionPending());
    EXPECT_EQ(alice->StateOf("carl"), kStateOffline);
}

// How many connections the server accepted since `log` was read.
size_t AcceptedSince(const TestServer& server, const std::string& log) {
    const std::string now = server.Log().substr(log.size());
    size_t count = 0;
    for (size_t at = now.find("est accepté"); at != std::string::npos;
         at = now.find("est accepté", at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(ClientEndToEnd, AKilledServerIsRejoinedByItselfAndKeepsMessagesForTheAbsent) {
    auto alice = Registered("alice");
    auto bob = Registered("bob");
    ASSERT_TRUE(Befriend(*alice, "alice", *bob, "bob"));
    alice->session.MenuStateAway();
    alice->session.OpenConversationWith("bob");
    ASSERT_TRUE(WaitUntil([&] { return alice->With({"alice", "bob"}) != nullptr; }));
    const ConversationId chat = alice->With({"alice", "bob"})->Id();
    bob->session.MenuStateOffline();  // chosen: bob stays away
    ASSERT_TRUE(WaitUntil([&] { return alice->StateOf("bob") == kStateOffline; }));

    alice->session.SubmitMessage(chat, "tu es là ?");
    alice->session.SubmitMessage(chat, "tu es là ?");
    const std::string later =
        "info: bob n'est pas connecté(e) : il le recevra à sa prochaine connexion";
    ASSERT_TRUE(WaitUntil(
        [&] { return alice->LastLine(*alice->session.ConversationById(chat)) == later; }));
    parlo::testing::Settle(1000);  // kept on disk within half a second
    const Texts& said = alice->ui.views.at(chat)->transcript;
    EXPECT_EQ(std::count(said.begin(), said.end(), later), 1);

    // Killed and started again on the same port: alice is back, away as she was.
    server_.process.Kill();
    ASSERT_TRUE(WaitUntil([&] { return alice->session.OwnState() == kStateConnecting; }));
    const std::string log = server_.Log();
    ASSERT_TRUE(server_.process.Start(static_cast<uint16_t>(server_.Port())));
    ASSERT_TRUE(WaitUntil([&] { return alice->session.OwnState() == kStateAway; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return alice->session.Contacts().Count() == 1; }));
    EXPECT_EQ(AcceptedSince(server_, log), 2u) << "the start's probe and alice";

    // Bob's next login shows both messages and their time in the window
    // alice's invitation had opened.
    bob->session.MenuConnect();
    ASSERT_TRUE(WaitUntil([&] { return bob->With({"alice", "bob"}) != nullptr; }));
    const Conversation& at_bob = *bob->With({"alice", "bob"});
    const Texts& got = bob->ViewOf(at_bob).transcript;
    ASSERT_TRUE(WaitUntil([&] { return got.size() == 5; })) << ::testing::PrintToString(got);
    EXPECT_TRUE(got[1].starts_with("info: message envoyé le ")) << got[1];
    EXPECT_EQ(got[2], "alice: tu es là ?");
    EXPECT_EQ(got[4], "alice: tu es là ?");
    // The window alice kept open works on.
    alice->session.SubmitMessage(chat, "enfin");
    EXPECT_TRUE(WaitUntil([&] { return bob->LastLine(at_bob) == "alice: enfin"; }));
    EXPECT_EQ(got.size(), 6u) << "each kept message came once";

    // Logged in elsewhere, alice does not come back to take her place again.
    const std::string before = server_.Log();
    Client elsewhere(server_.Port());
    ASSERT_TRUE(elsewhere.session.SetCredentials(Compressed("alice"), Compressed("pw")));
    elsewhere.session.LogInStored();
    ASSERT_TRUE(WaitUntil([&] { return alice->session.OwnState() == kStateOffline; }));
    parlo::testing::Settle(2500);
    EXPECT_FALSE(alice->session.ReconnectionPending());
    EXPECT_EQ(AcceptedSince(server_, before), 1u);
    EXPECT_EQ(elsewhere.session.OwnState(), kStateOnline);
}

// Not a check but a measurement (run with --gtest_also_run_disabled_tests):
// the time from a SIGKILL of the server, started again at once on the same
// port, until every client is online again. Takes about 20 minutes.
TEST_F(ClientEndToEnd, DISABLED_TimeBackOnlineAfterRestarts) {
    constexpr int kRestarts = 20;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 5; ++i) {
        clients.push_back(Registered("user" + std::to_string(i)));
    }
    std::vector<double> seconds;
    auto server = std::make_unique<parlo::testing::ChildProcess>();
    for (int restart = 0; restart < kRestarts; ++restart) {
        QElapsedTimer clock;
        clock.start();
        restart == 0 ? server_.process.Kill() : server->Kill();
        server = std::make_unique<parlo::testing::ChildProcess>();
        ASSERT_TRUE(server->Start(SERVER_PATH,
                                  {"--headless", "--port", std::to_string(server_.Port())},
                                  server_.dir.Path()));
        ASSERT_TRUE(WaitUntil([&] { return clients[0]->session.OwnState() != kStateOnline; }));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return std::all_of(clients.begin(), clients.end(), [](const auto& client) {
                    return client->session.OwnState() == kStateOnline;
                });
            },
            70000));
        seconds.push_back(static_cast<double>(clock.elapsed()) / 1000.0);
        // Restarts hours apart: each finds the clients' schedule at its start.
        parlo::testing::Settle(static_cast<int>(ReconnectPolicy::kStableOnline.count()) + 500);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("back online after a restart: median %.2f s, max %.2f s over %d restarts\n",
                (seconds[kRestarts / 2 - 1] + seconds[kRestarts / 2]) / 2, seconds.back(),
                kRestarts);
}

// A loopback listener whose queue is full, so a connection to it waits.
class LateAcceptor {
  public:
    LateAcceptor() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
        listen(fd_, 0);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        for (int& filler : fillers_) {
            filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        }
    }
    ~LateAcceptor() {
        for (int filler : fillers_) {
            close(filler);
        }
        close(fd_);
    }
    int Port() const { return port_; }

  private:
    int fd_;
    int port_ = 0;
    int fillers_[4] = {};
};

TEST_F(ClientEndToEnd, ConnectingNeverStopsTheEventLoopAndAClosedPortIsNamedInOneBox) {
    LateAcceptor late;
    Client client(late.Port());
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    client.session.LogInStored();
    EXPECT_EQ(client.session.OwnState(), kStateConnecting);
    EXPECT_TRUE(WaitUntil([&] { return fired; }, 1000)) << "a timer waited for the connection";
    EXPECT_EQ(client.session.OwnState(), kStateConnecting);

    const uint16_t closed = parlo::testing::FreePort();
    Client tester(closed);
    ASSERT_TRUE(tester.session.TestLogIn(Compressed("zoe"), Compressed("pw")));
    ASSERT_TRUE(WaitUntil([&] { return tester.session.OwnState() == kStateOffline; }));
    parlo::testing::Settle(200);
    EXPECT_EQ(tester.ui.boxes, Texts{"Impossible de joindre le serveur 127.0.0.1:" +
                                     std::to_string(closed) + " : connexion refusée"});
    EXPECT_EQ(tester.session.ConnectionProblem(), "Serveur injoignable : connexion refusée");
}

// The server's encrypted port beside its plain one: a client on each.
class EncryptedEndToEnd : public ClientEndToEnd {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.process.StartWithTls()) << "Server did not start"; }
};

TEST_F(EncryptedEndToEnd, AnEncryptedClientTalksWithAPlainOneAndIsAskedOnce) {
    auto paul = Registered("paul");
    auto emma = std::make_unique<Client>(server_.Port());
    emma->session.SetEncryption({.enabled = true, .port = server_.process.TlsPort()});
    ASSERT_TRUE(emma->Register("emma"));  // the account too is made encrypted
    ASSERT_EQ(emma->ui.boxes.size(), 1u);
    EXPECT_TRUE(emma->ui.boxes[0].ends_with(texts::kTrustServer));
    const std::string pinned = emma->session.Settings().pinned_certificates.at("127.0.0.1");
    EXPECT_EQ(pinned.size(), 32u * 3 - 1);
    EXPECT_NE(server_.Log().find("(chiffré)"), std::string::npos);

    ASSERT_TRUE(Befriend(*emma, "emma", *paul, "paul"));
    emma->session.OpenConversationWith("paul");
    ASSERT_TRUE(WaitUntil([&] { return paul->With({"paul", "emma"}) != nullptr; }));
    emma->session.SubmitMessage(emma->With({"emma", "paul"})->Id(), "chiffré : à toi");
    Conversation& at_paul = *paul->With({"paul", "emma"});
    EXPECT_TRUE(WaitUntil([&] { return paul->LastLine(at_paul) == "emma: chiffré : à toi"; }));
    paul->session.SubmitMessage(at_paul.Id(), "reçu");
    EXPECT_TRUE(WaitUntil([&] {
        return emma->LastLine(*emma->With({"emma", "paul"})) == "paul: reçu";
    }));
    EXPECT_EQ(
        std::count_if(emma->ui.boxes.begin(), emma->ui.boxes.end(),
                      [](const std::string& box) { return box.ends_with(texts::kTrustServer); }),
        1);
}

}  // namespace
}  // namespace parlo::client::testing
