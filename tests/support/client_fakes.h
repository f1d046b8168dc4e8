// Test doubles for the client core: a recording user-interface port, scripted
// server links, and a session wired to both.
#pragma once

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "client/core/session.h"
#include "protocol/codec.h"

namespace parlo::client::testing {

using Texts = std::vector<std::string>;

// Timers of the core need an application object; widget tests have theirs.
inline void EnsureApp() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "client_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

inline std::string Compressed(std::string_view text) {
    std::string blob;
    Compress(text, blob);
    return blob;
}

// What a conversation window was told; outlives the window itself.
struct ViewRecord {
    Texts transcript;  // "sender: text" or "info: text"
    std::string title;
    std::string typing_line;
    bool visible = false;
    int raised = 0;
    bool active = false;
    int alerts = 0;
    bool destroyed = false;
};

// Boxes are answered at once, or kept open with `keep_open` until Answer.
class FakeUi final : public UiPort {
  public:
    void ShowMessageBox(const BoxRequest& box, BoxContinuation answered) override {
        boxes.emplace_back(box.text);
        captions.emplace_back(box.caption);
        icons.push_back(box.icon);
        const bool yes_no = box.buttons == BoxButtons::kYesNo;
        open.push_back({yes_no, std::move(answered)});
        if (!keep_open) {
            Answer();
        }
    }
    // Answers the oldest open box: OK, or `next_answer` for Yes/No.
    void Answer() {
        ASSERT_FALSE(open.empty());
        auto [yes_no, answered] = std::move(open.front());
        open.erase(open.begin());
        const BoxAnswer answer =
            yes_no ? std::exchange(next_answer, default_answer) : BoxAnswer::kOk;
        if (answered) {
            answered(answer);
        }
    }
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) override {
        views[id] = std::make_shared<ViewRecord>();
        return std::make_unique<View>(views[id]);
    }
    void RepaintMainWindow() override {}
    void OwnStateChanged(int state) override { states.push_back(state); }
    void PlayReceiveSound() override { ++sounds; }
    void SendMail(std::string_view address) override { mails.emplace_back(address); }
    void OpenSettingsDialog() override { ++settings_dialogs; }
    void ShowNotice(const Notice& notice) override {
        notices.push_back(std::to_string(notice.key) + " " + std::string(notice.summary) + ": " +
                          std::string(notice.body));
    }
    void CloseNotice(ConversationId key) override { closed_notices.push_back(key); }
    void ShowUnreadMark(bool unread) override { unread_marks.push_back(unread); }
    // Answers at once with `idle_ms`.
    void QueryIdleTime(IdleTimeContinuation answered) override { answered(idle_ms); }

    bool HasBox(std::string_view text) const {
        return std::find(boxes.begin(), boxes.end(), text) != boxes.end();
    }

    Texts boxes;
    Texts captions;
    std::vector<BoxIcon> icons;
    BoxAnswer default_answer = BoxAnswer::kNo;
    BoxAnswer next_answer = BoxAnswer::kNo;
    bool keep_open = false;
    std::vector<std::pair<bool, BoxContinuation>> open;  // Yes/No?, continuation
    std::map<ConversationId, std::shared_ptr<ViewRecord>> views;
    std::vector<int> states;
    int sounds = 0;
    Texts mails;
    int settings_dialogs = 0;
    Texts notices;  // "key summary: body"
    std::vector<ConversationId> closed_notices;
    std::vector<bool> unread_marks;
    std::optional<std::int64_t> idle_ms;

  private:
    class View final : public ConversationView {
      public:
        explicit View(std::shared_ptr<ViewRecord> record) : r_(std::move(record)) {}
        ~View() override { r_->destroyed = true; }
        void AppendMessage(std::string_view sender, std::string_view text) override {
            r_->transcript.push_back(std::string(sender) + ": " + std::string(text));
        }
        void AppendInfo(std::string_view text) override {
            r_->transcript.push_back("info: " + std::string(text));
        }
        void SetTitle(std::string_view title, std::string_view typing_line) override {
            r_->title = title;
            r_->typing_line = typing_line;
        }
        void Show() override { r_->visible = true; }
        void Raise() override { ++r_->raised; }
        bool IsVisible() const override { return r_->visible; }
        bool IsActive() const override { return r_->active; }
        void RequestAttention() override { ++r_->alerts; }

      private:
        std::shared_ptr<ViewRecord> r_;
    };
};

// Hands out fake links; records every command sent and lets the test play
// the server's part on the newest link.
class FakeLinks final : public LinkFactory {
  public:
    std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) override {
        ++created;
        return std::make_unique<Link>(*this, events);
    }
    // The server sends commands, each in its own frame, all in one read.
    void Deliver(std::initializer_list<std::string_view> commands) {
        std::string bytes;
        for (std::string_view command : commands) {
            AppendCommandFrame(bytes, command);
        }
        DeliverBytes(bytes);
    }
    void DeliverBytes(std::string_view bytes) {
        if (current_ != nullptr) {
            current_->events.OnLinkData(bytes);
        }
    }
    void CloseFromServer() {
        if (current_ != nullptr) {
            current_->events.OnLinkClosed();
        }
    }
    void FailConnect(std::string_view reason) {
        if (current_ != nullptr) {
            current_->events.OnLinkFailed(reason);
        }
    }
    bool ReadingPaused() const { return current_ != nullptr && current_->paused; }

    std::string address;
    Transport transport = Transport::kPlain;
    int trusted = 0;  // certificates the session trusted
    int created = 0;
    int closed = 0;
    Texts sent;

  private:
    struct Link final : ServerLink {
        Link(FakeLinks& owner, LinkEvents& events) : owner(owner), events(events) {
            owner.current_ = this;
        }
        ~Link() override {
            ++owner.closed;
            if (owner.current_ == this) {
                owner.current_ = nullptr;
            }
        }
        void Connect(const std::string& to, int port, Transport transport) override {
            owner.address = to + ":" + std::to_string(port);
            owner.transport = transport;
        }
        void TrustCertificate() override { ++owner.trusted; }
        void PauseReading(bool pause) override { paused = pause; }
        long long Send(std::string_view bytes) override {
            reader.Feed(bytes);
            std::string_view payload;
            std::string text;
            while (reader.Next(payload) == FrameReader::Status::kFrame) {
                if (Uncompress(payload, text)) {
                    owner.sent.push_back(text);
                }
            }
            return static_cast<long long>(bytes.size());
        }
        FakeLinks& owner;
        LinkEvents& events;
        FrameReader reader;
        bool paused = false;
    };
    Link* current_ = nullptr;
};

class SessionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { EnsureApp(); }
    SessionTest() : store_(dir_.filePath("Parlomatic.ini")), session_(ui_, links_, store_) {
        session_.SetServer("127.0.0.1", 7777);
    }

    // Logs in as `login` with the server's "OK" and an address book; the
    // records start empty afterwards.
    void LogInAs(std::string_view login, std::string_view address_book = "AddressBook:") {
        ASSERT_TRUE(session_.SetCredentials(Compressed(login), Compressed("pw")));
        session_.LogInStored();
        links_.Deliver({"Login:OK", address_book});
        links_.sent.clear();
        ui_.boxes.clear();
        ui_.captions.clear();
    }
    ViewRecord& ViewOf(const Conversation& c) { return *ui_.views.at(c.Id()); }

    QTemporaryDir dir_;
    FakeUi ui_;
    FakeLinks links_;
    SettingsStore store_;
    Session session_;
};

}  // namespace parlo::client::testing
