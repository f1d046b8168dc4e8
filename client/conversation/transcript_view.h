// The painted transcript of one conversation: headers ("dit :"), information
// lines and wrapped message bodies with emoticon pictures, its own scroll
// bar, selection within one message and copying.
#pragma once

#include <QWidget>
#include <string>
#include <string_view>

namespace parlo::client {

class TranscriptView : public QWidget {
  public:
    explicit TranscriptView(QWidget* parent = nullptr);

    // "<sender> dit :" then the text, and scrolls to the bottom.
    void AppendMessage(std::string_view sender, std::string_view text);
    // "info :<text>", and scrolls to the bottom.
    void AppendInfo(std::string_view text);
    // The whole transcript, lines separated by line feeds.
    const std::string& Text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string text_;
};

}  // namespace parlo::client
