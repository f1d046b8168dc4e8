// What the client core asks of the platform, reduced to what the pictures
// need: conversation windows are real, boxes are printed and answered with
// a fixed answer, everything else does nothing.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

#include "client/core/session.h"
#include "client/core/ui_port.h"
#include "client/ui/conversation/conversation_window.h"

namespace parlo::client {

class ShotsUi final : public UiPort {
  public:
    explicit ShotsUi(BoxAnswer answer) : answer_(answer) {}

    void ShowMessageBox(const BoxRequest& box, BoxContinuation answered) override {
        std::fprintf(stderr, "box: %.*s: %.*s\n", static_cast<int>(box.caption.size()),
                     box.caption.data(), static_cast<int>(box.text.size()), box.text.data());
        if (answered) {
            answered(answer_);
        }
    }
    std::unique_ptr<ConversationView> CreateConversationView(ConversationId id) override {
        return CreateConversationWindow(*session, id);
    }
    void RepaintMainWindow() override {}
    void OwnStateChanged(int) override {}
    void PlayReceiveSound() override {}
    void SendMail(std::string_view) override {}
    void OpenSettingsDialog() override {}
    void ShowNotice(const Notice&) override {}
    void CloseNotice(ConversationId) override {}
    void ShowUnreadMark(bool) override {}
    void QueryIdleTime(IdleTimeContinuation answered) override { answered(std::nullopt); }

    Session* session = nullptr;

  private:
    BoxAnswer answer_;
};

}  // namespace parlo::client
