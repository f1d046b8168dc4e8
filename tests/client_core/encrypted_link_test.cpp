// Encrypted connections through the real link to a TLS server of the test's
// own: the certificate asked about at first use, pinned, accepted silently
// afterwards, and another one refused without a word sent or a retry.
#include <gmock/gmock.h>
#include <QSslKey>
#include <QSslServer>

#include "client/core/tcp_server_link.h"
#include "tests/support/client_fakes.h"
#include "tests/support/qt_wait.h"
#include "tests/support/test_certificate.h"

namespace parlo::client::testing {
namespace {

using parlo::testing::Settle;
using parlo::testing::WaitUntil;
using ::testing::HasSubstr;

std::string FirstCommand(std::string_view bytes) {
    FrameReader reader;
    reader.Feed(bytes);
    std::string_view payload;
    std::string text;
    if (reader.Next(payload) == FrameReader::Status::kFrame) {
        Uncompress(payload, text);
    }
    return text;
}

// Answers "Login:OK" to whatever a connection sends; keeps the decrypted
// bytes of each connection.
class TlsServer {
  public:
    TlsServer() {
        ServeNewCertificate();
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QSslServer::startedEncryptionHandshake,
                         [this](QSslSocket*) { ++handshakes; });
        QObject::connect(&server_, &QSslServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                const int index = connections++;
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket, index] {
                    received[index] += socket->readAll().toStdString();
                    std::string answer;
                    AppendCommandFrame(answer, "Login:OK");
                    socket->write(answer.data(), static_cast<qint64>(answer.size()));
                });
            }
        });
    }
    void ServeNewCertificate() {
        const auto made = parlo::testing::MakeTestCertificate("parlo-test");
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        const QSslCertificate certificate(QByteArray::fromStdString(made.certificate_pem));
        config.setLocalCertificate(certificate);
        config.setPrivateKey(QSslKey(QByteArray::fromStdString(made.key_pem), QSsl::Ec));
        server_.setSslConfiguration(config);
        fingerprint = CertificateFingerprint(certificate);
    }
    void CloseAll() {
        for (QTcpSocket* socket : server_.findChildren<QTcpSocket*>()) {
            socket->abort();
        }
    }
    int Port() const { return server_.serverPort(); }

    std::string fingerprint;
    std::map<int, std::string> received;  // per connection that sent anything
    int connections = 0;
    int handshakes = 0;

  private:
    QSslServer server_;
};

class EncryptedLinkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureApp(); }
    EncryptedLinkTest() : store_(dir_.filePath("Parlomatic.ini")), session_(ui_, links_, store_) {
        ui_.keep_open = true;
        session_.SetCredentials(Compressed("alice"), Compressed("pw"));
        session_.SetServer("127.0.0.1", 1);  // the plain port: never tried
        session_.SetEncryption({.enabled = true, .port = server_.Port()});
    }
    bool LoggedIn(size_t connections) {
        return WaitUntil([&] {
            return server_.received.size() == connections &&
                   FirstCommand(server_.received.rbegin()->second).starts_with("Connect:") &&
                   session_.OwnState() == kStateOnline;
        });
    }
    std::string Pinned() {
        ClientSettings stored;
        store_.Load(stored);
        return stored.pinned_certificates["127.0.0.1"];
    }

    TlsServer server_;
    QTemporaryDir dir_;
    FakeUi ui_;
    TcpLinkFactory links_;
    SettingsStore store_;
    Session session_;
};

TEST_F(EncryptedLinkTest, FirstCertificateAskedThenPinnedAcceptedSilentlyAndAnotherRefused) {
    // First use: the user is asked, the login waits; "Non" sends nothing.
    session_.LogInStored();
    ASSERT_TRUE(WaitUntil([&] { return ui_.open.size() == 1; }));
    EXPECT_THAT(ui_.boxes[0], HasSubstr(server_.fingerprint.substr(0, 47)));
    EXPECT_THAT(ui_.boxes[0], HasSubstr(server_.fingerprint.substr(48)));
    EXPECT_TRUE(ui_.boxes[0].ends_with(texts::kTrustServer));
    Settle(200);
    EXPECT_TRUE(server_.received.empty());
    ui_.next_answer = BoxAnswer::kNo;
    ui_.Answer();
    EXPECT_EQ(session_.OwnState(), kStateOffline);
    EXPECT_EQ(Pinned(), "");

    // "Oui": pinned, and the login goes through.
    session_.LogInStored();
    ASSERT_TRUE(WaitUntil([&] { return ui_.open.size() == 1; }));
    ui_.next_answer = BoxAnswer::kYes;
    ui_.Answer();
    ASSERT_TRUE(LoggedIn(1));
    EXPECT_EQ(Pinned(), server_.fingerprint);

    // The same certificate later: no box.
    session_.Disconnect();
    session_.LogInStored();
    ASSERT_TRUE(LoggedIn(2));
    EXPECT_EQ(ui_.boxes.size(), 2u);

    // The server comes back with another certificate while the client
    // reconnects: one box with both fingerprints, nothing sent, no retry.
    const std::string accepted = server_.fingerprint;
    server_.ServeNewCertificate();
    server_.CloseAll();
    ASSERT_TRUE(WaitUntil([&] { return ui_.boxes.size() == 3; }, 10000));
    EXPECT_THAT(ui_.boxes[2], HasSubstr(accepted.substr(48)));
    EXPECT_THAT(ui_.boxes[2], HasSubstr(server_.fingerprint.substr(48)));
    EXPECT_EQ(session_.OwnState(), kStateOffline);
    EXPECT_FALSE(session_.ReconnectionPending());
    const int handshakes = server_.handshakes;
    session_.NetworkBack();
    Settle(1500);
    EXPECT_EQ(server_.handshakes, handshakes);
    EXPECT_EQ(ui_.boxes.size(), 3u);
    EXPECT_EQ(server_.received.size(), 2u);
    EXPECT_EQ(Pinned(), accepted);
}

}  // namespace
}  // namespace parlo::client::testing
