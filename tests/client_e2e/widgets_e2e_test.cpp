// Whole Parlomatic programs under the offscreen platform, each with its own
// settings, talking through the real headless Server, worked the way a
// person works them: typing in the dialogs' fields, clicking their buttons,
// picking menu items and answering the boxes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/client_e2e/driven_client.h"
#include "tests/client_e2e/test_server.h"
#include "tests/support/process.h"
#include "tests/support/qt_wait.h"
#include "tests/support/wire_client.h"

namespace parlo::client::testing {
namespace {

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

std::function<bool(const std::string&)> EndsWith(std::string end) {
    return [end = std::move(end)](const std::string& text) {
        return text.size() >= end.size() &&
               text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
}

std::string Online(const std::string& own, const std::string& online = {},
                   const std::string& offline = {}) {
    return own + " (en ligne) | Connecté:" + (online.empty() ? "" : " " + online) +
           " | Déconnecté:" + (offline.empty() ? "" : " " + offline);
}

class ClientWidgetsEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Start()) << "Server did not start"; }

    std::unique_ptr<DrivenClient> Start(const std::string& login) {
        return std::make_unique<DrivenClient>(root_.Path(), login, server_.Port());
    }

    // The first run: "Paramètres" opens with the server filled in; the user
    // types an account, creates it with "Nouveau", turns the sound off and
    // logs in with "OK".
    void Register(DrivenClient& client) {
        const std::string& login = client.Name();
        ASSERT_TRUE(client.WaitFor("visible settings", "yes"));
        EXPECT_EQ(client.Ask("text settings/port"), std::to_string(server_.Port()));
        EXPECT_EQ(client.Ask("text settings/login"), "");
        ASSERT_TRUE(client.Do("type settings/login " + login));
        ASSERT_TRUE(client.Do("type settings/password mot de passe"));
        ASSERT_TRUE(client.Do("click settings/sound"));
        ASSERT_TRUE(client.Do("click settings/new"));
        ASSERT_TRUE(client.WaitFor("visible newUser", "yes"));
        std::string first_name = login;
        first_name[0] = static_cast<char>(first_name[0] - 'a' + 'A');
        ASSERT_TRUE(client.Do("type newUser/login " + login));
        ASSERT_TRUE(client.Do("type newUser/password mot de passe"));
        ASSERT_TRUE(client.Do("type newUser/firstName " + first_name));
        ASSERT_TRUE(client.Do("type newUser/lastName Lefèvre"));
        ASSERT_TRUE(client.Do("type newUser/email " + login + "@bureau.lan"));
        ASSERT_TRUE(client.Do("click newUser/send"));
        ASSERT_TRUE(client.WaitFor("visible newUser", "no"));
        // Nothing on screen says the account exists: the server's log does.
        ASSERT_TRUE(parlo::testing::WaitUntil(
            [&] { return Contains(server_.Log(), "User " + login + " ajouté"); }, kDrivenWaitMs))
            << server_.Log();
        EXPECT_EQ(client.Ask("text settings/login"), login);
        ASSERT_TRUE(client.Do("click settings/ok"));
        ASSERT_TRUE(client.WaitFor("visible settings", "no"));
        ASSERT_TRUE(client.WaitFor("visible main", "yes"));
        ASSERT_TRUE(client.WaitFor("state", Online(login)));
    }

    // `asker` finds `addressee` in "Ajouter des contacts" and asks to add
    // them; the addressee says yes. Both then list each other.
    static void Befriend(DrivenClient& asker, DrivenClient& addressee) {
        const std::string& login = addressee.Name();
        ASSERT_TRUE(asker.Do("menu main Carnet d'adresse/Ajouter"));
        ASSERT_TRUE(asker.WaitFor("visible findContacts", "yes"));
        ASSERT_TRUE(asker.Do("type findContacts/login " + login));
        ASSERT_TRUE(asker.Do("click findContacts/search"));
        ASSERT_TRUE(asker.WaitUntil("rows findContacts/results", [&](const std::string& rows) {
            return rows.rfind(login + "|", 0) == 0 && Contains(rows, login + "@bureau.lan");
        }));
        ASSERT_TRUE(asker.Do("click-row findContacts/results " + login));
        ASSERT_TRUE(asker.WaitFor("text findContacts/loginToAdd", login));
        ASSERT_TRUE(asker.Do("click findContacts/add"));
        ASSERT_TRUE(
            asker.WaitFor("box", "Carnet d'adresse|" + login +
                                     " apparaîtra automatiquement dès qu'il vous aura accepté"));
        ASSERT_TRUE(asker.Do("answer ok"));
        ASSERT_TRUE(addressee.WaitFor("box", "Carnet d'adresse|" + asker.Name() +
                                                 " vous a ajouté à son carnet d'adresse\n"
                                                 "pour voir ses messages vous devez faire de "
                                                 "même...\n\nAjouter " +
                                                 asker.Name()));
        ASSERT_TRUE(addressee.Do("answer yes"));
        ASSERT_TRUE(asker.WaitFor(
            "box", "Carnet d'adresse|" + login + " a accepté l'ajout dans votre carnet d'adresse"));
        ASSERT_TRUE(asker.Do("answer ok"));
        ASSERT_TRUE(asker.Do("click findContacts/close"));
        ASSERT_TRUE(asker.WaitFor("visible findContacts", "no"));
    }

    parlo::testing::ScratchDirectory root_;
    TestServer server_;
};

TEST_F(ClientWidgetsEndToEnd, TwoUsersRegisterAddEachOtherAndSeeEachOtherOnline) {
    const auto alice = Start("alice");
    const auto bruno = Start("bruno");
    ASSERT_NO_FATAL_FAILURE(Register(*alice));
    ASSERT_NO_FATAL_FAILURE(Register(*bruno));

    ASSERT_NO_FATAL_FAILURE(Befriend(*alice, *bruno));
    EXPECT_TRUE(alice->WaitFor("state", Online("alice", "bruno")));
    EXPECT_TRUE(bruno->WaitFor("state", Online("bruno", "alice")));

    // Presence follows the menu: bruno logs out and in again.
    ASSERT_TRUE(bruno->Do("menu main Fichier/Déconnection"));
    EXPECT_TRUE(alice->WaitFor("state", Online("alice", "", "bruno")));
    ASSERT_TRUE(bruno->Do("menu main Fichier/Connection"));
    EXPECT_TRUE(alice->WaitFor("state", Online("alice", "bruno")));
    EXPECT_TRUE(bruno->WaitFor("state", Online("bruno", "alice")));

    // "&Quitter" ends the program; the other sees it go.
    ASSERT_TRUE(bruno->Do("menu main Fichier/&Quitter"));
    EXPECT_EQ(bruno->WaitForExit(), 0) << bruno->Stderr();
    EXPECT_TRUE(alice->WaitFor("state", Online("alice", "", "bruno")));
}

TEST_F(ClientWidgetsEndToEnd, ServerClosingBehindAnOpenBoxLeavesTheClientWorking) {
    const auto alice = Start("alice");
    ASSERT_NO_FATAL_FAILURE(Register(*alice));
    // Logging in elsewhere evicts this client: a box, then the server closes.
    parlo::testing::WireClient elsewhere(static_cast<uint16_t>(server_.Port()));
    ASSERT_TRUE(elsewhere.Send(parlo::testing::ConnectCommand("alice", "mot de passe")));
    ASSERT_TRUE(elsewhere.WaitFor("Login:OK"));
    ASSERT_TRUE(alice->WaitFor("box", "Gestion utilisateur|Vous êtes connecté ailleurs..."));
    ASSERT_TRUE(alice->WaitUntil(
        "state", [](const std::string& s) { return s.starts_with("alice (deconnecté(e))"); }));
    ASSERT_TRUE(alice->Do("answer ok"));
    ASSERT_TRUE(alice->Do("menu main Fichier/Connection"));
    ASSERT_TRUE(alice->WaitFor("state", Online("alice")));
    ASSERT_TRUE(alice->Do("menu main Fichier/&Quitter"));
    EXPECT_EQ(alice->WaitForExit(), 0) << alice->Stderr();
}

TEST_F(ClientWidgetsEndToEnd, AfterTheServerIsKilledTheProgramCountsDownAndComesBack) {
    const auto alice = Start("alice");
    ASSERT_NO_FATAL_FAILURE(Register(*alice));
    server_.process.Kill();
    ASSERT_TRUE(alice->WaitUntil(
        "state", [](const std::string& s) { return s.starts_with("alice (reconnexion dans "); }));
    ASSERT_TRUE(server_.process.Start(static_cast<uint16_t>(server_.Port())));
    ASSERT_TRUE(alice->WaitFor("state", Online("alice")));
    ASSERT_TRUE(alice->Do("menu main Fichier/&Quitter"));
    EXPECT_EQ(alice->WaitForExit(), 0) << alice->Stderr();
}

TEST_F(ClientWidgetsEndToEnd, TwoUsersTalkWithEmoticonsAndAThirdJoinsThroughInviter) {
    const auto alice = Start("alice");
    const auto bruno = Start("bruno");
    const auto carl = Start("carl");
    for (DrivenClient* client : {alice.get(), bruno.get(), carl.get()}) {
        ASSERT_NO_FATAL_FAILURE(Register(*client));
    }
    ASSERT_NO_FATAL_FAILURE(Befriend(*alice, *bruno));
    ASSERT_NO_FATAL_FAILURE(Befriend(*alice, *carl));
    ASSERT_NO_FATAL_FAILURE(Befriend(*bruno, *carl));
    ASSERT_TRUE(alice->WaitFor("state", Online("alice", "bruno, carl")));

    // A double click on bruno opens a conversation window at alice's.
    ASSERT_TRUE(alice->Do("open-contact bruno"));
    ASSERT_TRUE(alice->WaitUntil("windows", [](const std::string& windows) {
        return Contains(windows, "[bruno est connecté(e)]");
    }));
    ASSERT_TRUE(alice->WaitFor("visible conversation", "yes"));
    ASSERT_TRUE(alice->Do("type conversation/input Salut :-) ça va ?"));
    ASSERT_TRUE(alice->Do("click conversation/send"));
    const std::string hello = "alice dit :\nSalut :-) ça va ?\n";
    EXPECT_TRUE(alice->WaitUntil("transcript conversation/transcript", EndsWith(hello)));
    EXPECT_TRUE(alice->WaitFor("text conversation/input", ""));
    ASSERT_TRUE(bruno->WaitFor("visible conversation", "yes"));
    EXPECT_TRUE(bruno->WaitUntil("transcript conversation/transcript", EndsWith(hello)));
    EXPECT_TRUE(bruno->WaitFor("text conversation", "alice est connecté(e)"));

    // bruno answers with a wink from the emoticon menu; alice sees him
    // typing, then his message, and the typing line empties again.
    ASSERT_TRUE(bruno->Do("type conversation/input Très bien "));
    EXPECT_TRUE(alice->WaitFor("text conversation/typing", "bruno écrit"));
    ASSERT_TRUE(bruno->Do("click conversation/emoticons"));
    ASSERT_TRUE(bruno->WaitFor("visible emoticonMenu", "yes"));
    ASSERT_TRUE(bruno->Do("choose emoticonMenu #2"));
    ASSERT_TRUE(bruno->WaitFor("text conversation/input", "Très bien ;)"));
    ASSERT_TRUE(bruno->Do("key conversation/input Return"));
    const std::string wink = hello + "bruno dit :\nTrès bien ;)\n";
    EXPECT_TRUE(alice->WaitUntil("transcript conversation/transcript", EndsWith(wink)));
    EXPECT_TRUE(alice->WaitFor("text conversation/typing", ""));
    EXPECT_TRUE(bruno->WaitFor("text conversation/input", ""));
    EXPECT_TRUE(bruno->WaitFor("visible conversation", "yes"));  // Enter never closes it

    // alice invites carl, the only contact offered (bruno is in already):
    // her window grows; bruno and carl get a window of three with the next
    // message.
    ASSERT_TRUE(alice->Do("click conversation/invite"));
    ASSERT_TRUE(alice->WaitFor("visible inviteMenu", "yes"));
    EXPECT_EQ(alice->Ask("items inviteMenu"), "carl");
    ASSERT_TRUE(alice->Do("choose inviteMenu carl"));
    EXPECT_TRUE(alice->WaitUntil("transcript conversation/transcript",
                                 EndsWith(wink + "info :carl s'est joint à la conversation\n")));
    EXPECT_TRUE(alice->WaitFor("text conversation", "bruno est connecté(e), carl est connecté(e)"));
    ASSERT_TRUE(alice->Do("type conversation/input À trois :D"));
    ASSERT_TRUE(alice->Do("key conversation/input Return"));
    const std::string three = "alice dit :\nÀ trois :D\n";
    ASSERT_TRUE(carl->WaitFor("visible conversation", "yes"));
    EXPECT_TRUE(carl->WaitUntil("transcript conversation/transcript", EndsWith(three)));
    EXPECT_TRUE(carl->WaitUntil("text conversation", [](const std::string& title) {
        return Contains(title, "alice est connecté(e)") && Contains(title, "bruno est connecté(e)");
    }));
    ASSERT_TRUE(bruno->WaitFor("visible conversation[carl]", "yes"));
    EXPECT_TRUE(bruno->WaitUntil("transcript conversation[carl]/transcript", EndsWith(three)));

    ASSERT_TRUE(carl->Do("type conversation/input Bonjour (L)"));
    ASSERT_TRUE(carl->Do("click conversation/send"));
    const std::string hearts = three + "carl dit :\nBonjour (L)\n";
    EXPECT_TRUE(alice->WaitUntil("transcript conversation/transcript", EndsWith(hearts)));
    EXPECT_TRUE(bruno->WaitUntil("transcript conversation[carl]/transcript", EndsWith(hearts)));
    // Every code is drawn as its picture: smile, wink, grin, heart.
    EXPECT_EQ(alice->Ask("pictures conversation/transcript"), "142 154 151 149");
    EXPECT_EQ(bruno->Ask("pictures conversation[carl]/transcript"), "151 149");

    // Escape: carl leaves. alice is told in her window; at bruno's the
    // window of three is now a second one with alice, and one of the two
    // closes with a box.
    ASSERT_TRUE(carl->Do("key conversation/input Escape"));
    EXPECT_TRUE(carl->WaitFor("visible conversation", "no"));
    const std::string left = hearts + "info :carl a quitté la conversation\n";
    EXPECT_TRUE(alice->WaitUntil("transcript conversation/transcript", EndsWith(left)));
    EXPECT_TRUE(alice->WaitFor("text conversation", "bruno est connecté(e)"));
    EXPECT_TRUE(bruno->WaitUntil("box", [](const std::string& box) {
        return Contains(box, "Une autre conversation entre :\nbruno et alice\nexiste déjà");
    }));
    ASSERT_TRUE(bruno->Do("answer ok"));
    EXPECT_TRUE(bruno->WaitFor("visible conversation", "yes"));  // one window left
}

}  // namespace
}  // namespace parlo::client::testing
