// Test doubles for the client core: a recording user-interface port and a
// scripted server link.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "client/session/server_link.h"
#include "client/session/ui_port.h"
#include "protocol/codec.h"

namespace parlo::client::testing {

// Timers of the core need an application object.
inline void EnsureApp() {
    static int argc = 1;
    static char name[] = "client_core_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

inline std::string Frame(std::string_view command) {
    std::string out;
    AppendCommandFrame(out, command);
    return out;
}

// What a conversation window was told; outlives the window itself.
struct ViewRecord {
    std::vector<std::string> transcript;  // "sender: text" or "info: text"
    std::string title;
    std::string typing_line;
    bool visible = false;
    int raised = 0;
    bool destroyed = false;
};

class FakeView final : public ConversationView {
  public:
    explicit FakeView(std::shared_ptr<ViewRecord> record) : record_(std::move(record)) {}
    ~FakeView() override {
        record_->destroyed = true;
        record_->visible = false;
    }
    void AppendMessage(std::string_view sender, std::string_view text) override {
        record_->transcript.push_back(std::string(sender) + ": " + std::string(text));
    }
    void AppendInfo(std::string_view text) override {
        record_->transcript.push_back("info: " + std::string(text));
    }
    void SetTitle(std::string_view title, std::string_view typing_line) override {
        record_->title = title;
        record_->typing_line = typing_line;
    }
    void Show() override { record_->visible = true; }
    void Raise() override { ++record_->raised; }
    bool IsVisible() const override { return record_->visible; }

  private:
    std::shared_ptr<ViewRecord> record_;
};

struct Box {
    std::string text;
    std::string caption;
    BoxIcon icon;
    BoxButtons buttons;
};

class FakeUi final : public UiPort {
  public:
    BoxAnswer ShowMessageBox(std::string_view text, std::string_view caption, BoxIcon icon,
                             BoxButtons buttons) override {
        boxes.push_back({std::string(text), std::string(caption), icon, buttons});
        if (while_box_open) {
            // What happens in the box's own event loop.
            auto action = std::move(while_box_open);
            while_box_open = nullptr;
            action();
        }
        if (!answers.empty()) {
            const BoxAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == BoxButtons::kYesNo ? BoxAnswer::kNo : BoxAnswer::kOk;
    }
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) override {
        auto record = std::make_shared<ViewRecord>();
        views[id] = record;
        return std::make_unique<FakeView>(record);
    }
    void RepaintMainWindow() override { ++repaints; }
    void OwnStateChanged(int state) override { states.push_back(state); }
    void PlayReceiveSound() override { ++sounds; }
    void SendMail(std::string_view address) override { mails.emplace_back(address); }
    void OpenSettingsDialog() override { ++settings_dialogs; }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const Box& box : boxes) {
            texts.push_back(box.text);
        }
        return texts;
    }

    std::vector<Box> boxes;
    std::deque<BoxAnswer> answers;
    std::function<void()> while_box_open;
    std::map<ConversationId, std::shared_ptr<ViewRecord>> views;
    int repaints = 0;
    std::vector<int> states;
    int sounds = 0;
    std::vector<std::string> mails;
    int settings_dialogs = 0;
};

class FakeLinkFactory;

class FakeLink final : public ServerLink {
  public:
    FakeLink(FakeLinkFactory& factory, LinkEvents& events) : factory_(factory), events_(events) {}
    ~FakeLink() override;
    bool Connect(const std::string& address, int port) override;
    long long Send(std::string_view bytes) override;
    LinkEvents& Events() { return events_; }

  private:
    FakeLinkFactory& factory_;
    LinkEvents& events_;
    FrameReader reader_;
};

// Hands out fake links and records every command sent on any of them.
class FakeLinkFactory final : public LinkFactory {
  public:
    std::unique_ptr<ServerLink> CreateLink(LinkEvents& events) override {
        ++created;
        auto link = std::make_unique<FakeLink>(*this, events);
        current = link.get();
        return link;
    }

    // The server sends commands (each in its own frame, all in one read).
    void Deliver(std::initializer_list<std::string_view> commands) {
        std::string bytes;
        for (std::string_view command : commands) {
            bytes += Frame(command);
        }
        DeliverBytes(bytes);
    }
    void DeliverBytes(std::string_view bytes) {
        if (current != nullptr) {
            current->Events().OnLinkData(bytes);
        }
    }
    void CloseFromServer() {
        if (current != nullptr) {
            current->Events().OnLinkClosed();
        }
    }
    std::string LastSent() const { return sent.empty() ? std::string() : sent.back(); }

    bool connect_succeeds = true;
    std::string last_address;
    int last_port = 0;
    int created = 0;
    int closed = 0;
    FakeLink* current = nullptr;
    std::vector<std::string> sent;
};

inline FakeLink::~FakeLink() {
    ++factory_.closed;
    if (factory_.current == this) {
        factory_.current = nullptr;
    }
}

inline bool FakeLink::Connect(const std::string& address, int port) {
    factory_.last_address = address;
    factory_.last_port = port;
    return factory_.connect_succeeds;
}

inline long long FakeLink::Send(std::string_view bytes) {
    reader_.Feed(bytes);
    std::string_view payload;
    while (reader_.Next(payload) == FrameReader::Status::kFrame) {
        std::string text;
        if (Uncompress(payload, text)) {
            factory_.sent.push_back(text);
        }
    }
    return static_cast<long long>(bytes.size());
}

}  // namespace parlo::client::testing
