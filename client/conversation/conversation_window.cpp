// Stand-in conversation window: a plain transcript, an input line and
// "Envoyer", until the full window lands.
#include "client/conversation/conversation_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include "client/session/session.h"

namespace parlo::client {
namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class StandInWindow : public QWidget {
  public:
    StandInWindow(Session& session, ConversationId id) : session_(session), id_(id) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        auto* layout = new QVBoxLayout(this);
        transcript_ = new QPlainTextEdit(this);
        transcript_->setReadOnly(true);
        input_ = new QLineEdit(this);
        auto* send = new QPushButton(QStringLiteral("Envoyer"), this);
        typing_ = new QLabel(this);
        layout->addWidget(transcript_);
        layout->addWidget(input_);
        layout->addWidget(send);
        layout->addWidget(typing_);
        connect(send, &QPushButton::clicked, this, &StandInWindow::SendInput);
        connect(input_, &QLineEdit::returnPressed, this, &StandInWindow::SendInput);
        connect(input_, &QLineEdit::textChanged, this, [this](const QString& text) {
            session_.ConversationInputChanged(id_, static_cast<size_t>(text.toUtf8().size()));
        });
        resize(480, 360);
    }

    void Append(const QString& line) { transcript_->appendPlainText(line); }
    void SetTyping(const QString& text) { typing_->setText(text); }

  protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        session_.LeaveConversation(id_);  // destroys the view, which deletes this later
    }

  private:
    void SendInput() {
        const QByteArray text = input_->text().toUtf8();
        session_.SubmitMessage(id_, std::string_view(text.constData(), text.size()));
        input_->clear();
    }

    Session& session_;
    ConversationId id_;
    QPlainTextEdit* transcript_;
    QLineEdit* input_;
    QLabel* typing_;
};

class StandInView final : public ConversationView {
  public:
    StandInView(Session& session, ConversationId id) : window_(new StandInWindow(session, id)) {}
    ~StandInView() override {
        if (window_) {
            window_->hide();
            window_->deleteLater();
        }
    }
    void AppendMessage(std::string_view sender, std::string_view text) override {
        window_->Append(Q(sender) + QStringLiteral(" dit :\n") + Q(text));
    }
    void AppendInfo(std::string_view text) override {
        window_->Append(QStringLiteral("info :") + Q(text));
    }
    void SetTitle(std::string_view title, std::string_view typing_line) override {
        window_->setWindowTitle(Q(title));
        window_->SetTyping(Q(typing_line));
    }
    void Show() override { window_->show(); }
    void Raise() override {
        window_->raise();
        window_->activateWindow();
    }
    bool IsVisible() const override { return window_->isVisible(); }

  private:
    QPointer<StandInWindow> window_;  // a top-level window: no Qt parent
};

}  // namespace

std::unique_ptr<ConversationView> CreateConversationWindow(Session& session, ConversationId id) {
    return std::make_unique<StandInView>(session, id);
}

}  // namespace parlo::client
