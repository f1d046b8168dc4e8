// The conversation window: the transcript, the "Message :" input, "Inviter",
// the emoticon picture, "Envoyer" and the typing line. Every rule about
// participants, titles, typing and invitations is the session's; the window
// shows what the session tells it and hands it what the user does.
#include "client/ui/conversation/conversation_window.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionMenuItem>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <string>

#include "client/core/session.h"
#include "client/ui/common/dialog_parts.h"
#include "client/ui/conversation/conversation_input.h"
#include "client/ui/conversation/emoticons.h"
#include "client/ui/conversation/transcript_view.h"

namespace parlo::client {
namespace {

// The window's size and its controls' places, in dialog units: a quarter of
// the font's average character width across, an eighth of its height down.
constexpr QSize kWindowUnits(359, 276);
constexpr QRect kTranscriptUnits(7, 7, 342, 195);
constexpr QRect kLabelUnits(7, 204, 34, 8);
constexpr QRect kInputUnits(7, 215, 283, 38);
constexpr QRect kInviteUnits(293, 215, 34, 14);
constexpr QRect kEmoticonUnits(331, 213, 18, 17);
constexpr QRect kSendUnits(295, 239, 50, 14);
constexpr QRect kTypingUnits(7, 258, 338, 10);

// The picture on the button that opens the emoticon menu.
constexpr int kEmoticonButtonPicture = 142;

class DialogUnits {
  public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : base_x_((metrics.horizontalAdvance(
                       QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) +
                   26) /
                  52),
          base_y_(metrics.height()) {}

    int X(int units) const { return (units * base_x_ + 2) / 4; }
    int Y(int units) const { return (units * base_y_ + 4) / 8; }
    QSize Size(QSize units) const { return {X(units.width()), Y(units.height())}; }
    QRect Rect(const QRect& units) const {
        const int left = X(units.x());
        const int top = Y(units.y());
        return {left, top, X(units.x() + units.width()) - left,
                Y(units.y() + units.height()) - top};
    }

  private:
    int base_x_;
    int base_y_;
};

// The input box: plain text; Enter presses the window's default button
// instead of starting a new line (Shift+Enter still does).
class MessageInput : public QPlainTextEdit {
  public:
    MessageInput(QWidget* parent, std::function<void()> on_enter)
        : QPlainTextEdit(parent), on_enter_(std::move(on_enter)) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && !(event->modifiers() & Qt::ShiftModifier)) {
            on_enter_();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }

  private:
    std::function<void()> on_enter_;
};

// The emoticon menu draws its pictures at their own size.
class PictureMenuStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_SmallIconSize) {
            return kEmoticonSize;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
    // The items' texts name the pictures for screen readers; only the
    // pictures are drawn.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
            element == CE_MenuItem && item != nullptr) {
            QStyleOptionMenuItem picture_only(*item);
            picture_only.text.clear();
            QProxyStyle::drawControl(element, &picture_only, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

class ConversationWindow : public QDialog {
  public:
    ConversationWindow(Session& session, ConversationId id);

    // The session no longer knows this conversation: the window only waits
    // for its deletion and calls nothing any more.
    void Detach() { session_ = nullptr; }

    void AppendMessage(std::string_view sender, std::string_view text) {
        transcript_->AppendMessage(sender, text);
    }
    void AppendInfo(std::string_view text) { transcript_->AppendInfo(text); }
    void SetTitle(std::string_view title, std::string_view typing_line) {
        setWindowTitle(Q(title));
        typing_->setText(Q(typing_line));
    }

    // Enter anywhere presses "Envoyer": the window never closes on it.
    void accept() override {}
    // Escape and the close box leave the conversation, which destroys this
    // window's view and so hides the window.
    void reject() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void PlaceControls();
    void BuildEmoticonMenu();
    void Send();
    void InputChanged();
    void InsertCode(std::string_view code);
    void ShowInviteMenu();
    void Invite(int position);
    void PutCaretAtStart();

    Session* session_;
    ConversationId id_;
    bool first_paint_ = true;
    bool cutting_ = false;  // the input is being cut back to the limit
    QFrame* transcript_frame_;
    TranscriptView* transcript_;
    QLabel* label_;
    MessageInput* input_;
    QPushButton* invite_;
    QToolButton* emoticons_;
    QPushButton* send_;
    QLabel* typing_;
    QMenu* emoticon_menu_;
    QMenu* invite_menu_;
};

ConversationWindow::ConversationWindow(Session& session, ConversationId id)
    : session_(&session), id_(id) {
    setObjectName(QStringLiteral("conversation"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Dialog"));

    // Created in the order the Tab key visits them.
    transcript_frame_ = new QFrame(this);
    transcript_frame_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    transcript_ = new TranscriptView(transcript_frame_);
    transcript_->setObjectName(QStringLiteral("transcript"));
    auto* frame_layout = new QVBoxLayout(transcript_frame_);
    const int border = transcript_frame_->frameWidth();
    frame_layout->setContentsMargins(border, border, border, border);
    frame_layout->addWidget(transcript_);

    label_ = new QLabel(QStringLiteral("Message :"), this);
    input_ = new MessageInput(this, [this] { send_->click(); });
    input_->setObjectName(QStringLiteral("input"));
    input_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    input_->setTabChangesFocus(true);
    label_->setBuddy(input_);
    invite_ = dialogs::MakeButton(QStringLiteral("Inviter"), this);
    invite_->setObjectName(QStringLiteral("invite"));
    emoticons_ = new QToolButton(this);
    emoticons_->setObjectName(QStringLiteral("emoticons"));
    emoticons_->setAutoRaise(true);
    emoticons_->setFocusPolicy(Qt::NoFocus);  // a picture, not a tab stop
    emoticons_->setIcon(EmoticonIcon(kEmoticonButtonPicture));
    emoticons_->setIconSize(QSize(kEmoticonSize, kEmoticonSize));
    emoticons_->setAccessibleName(QStringLiteral("Émoticônes"));
    emoticons_->setToolTip(QStringLiteral("Émoticônes"));
    send_ = dialogs::MakeButton(QStringLiteral("Envoyer"), this, true);
    send_->setObjectName(QStringLiteral("send"));
    typing_ = new QLabel(this);
    typing_->setObjectName(QStringLiteral("typing"));
    typing_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    typing_->setTextFormat(Qt::PlainText);

    emoticon_menu_ = new QMenu(this);
    emoticon_menu_->setObjectName(QStringLiteral("emoticonMenu"));
    invite_menu_ = new QMenu(this);
    invite_menu_->setObjectName(QStringLiteral("inviteMenu"));
    BuildEmoticonMenu();
    PlaceControls();

    connect(send_, &QPushButton::clicked, this, &ConversationWindow::Send);
    connect(input_, &QPlainTextEdit::textChanged, this, &ConversationWindow::InputChanged);
    connect(invite_, &QPushButton::clicked, this, &ConversationWindow::ShowInviteMenu);
    connect(emoticons_, &QToolButton::clicked, this,
            [this] { emoticon_menu_->popup(QCursor::pos()); });
    input_->setFocus();
}

void ConversationWindow::PlaceControls() {
    const DialogUnits units(fontMetrics());
    setFixedSize(units.Size(kWindowUnits));
    transcript_frame_->setGeometry(units.Rect(kTranscriptUnits));
    // The label keeps its whole text where the font is wider than the
    // classic one: nothing stands to its right.
    QRect label = units.Rect(kLabelUnits);
    label.setWidth(std::max(label.width(), label_->sizeHint().width()));
    label_->setGeometry(label);
    input_->setGeometry(units.Rect(kInputUnits));
    invite_->setGeometry(units.Rect(kInviteUnits));
    emoticons_->setGeometry(units.Rect(kEmoticonUnits));
    send_->setGeometry(units.Rect(kSendUnits));
    typing_->setGeometry(units.Rect(kTypingUnits));
}

void ConversationWindow::BuildEmoticonMenu() {
    auto* style = new PictureMenuStyle;
    style->setParent(emoticon_menu_);
    emoticon_menu_->setStyle(style);
    // The items have no text: the menu is as narrow as its pictures.
    const int margin = style->pixelMetric(QStyle::PM_MenuHMargin, nullptr, emoticon_menu_) +
                       style->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, emoticon_menu_);
    emoticon_menu_->setFixedWidth(kEmoticonSize + 2 * margin + 12);
    for (const EmoticonMenuItem& item : EmoticonMenuItems()) {
        QAction* action = emoticon_menu_->addAction(EmoticonIcon(item.bitmap), Q(item.name));
        action->setToolTip(Q(item.code));
        action->setIconVisibleInMenu(true);
        const std::string code(item.code);
        connect(action, &QAction::triggered, this, [this, code] { InsertCode(code); });
    }
}

void ConversationWindow::paintEvent(QPaintEvent* event) {
    if (std::exchange(first_paint_, false)) {
        input_->setFocus();
        PutCaretAtStart();
    }
    QDialog::paintEvent(event);
}

void ConversationWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && session_ != nullptr) {
        session_->ConversationActivated(id_);
    }
}

void ConversationWindow::reject() {
    if (session_ == nullptr) {
        QDialog::reject();
        return;
    }
    session_->LeaveConversation(id_);
}

void ConversationWindow::PutCaretAtStart() {
    QTextCursor cursor = input_->textCursor();
    cursor.setPosition(0);
    input_->setTextCursor(cursor);
}

void ConversationWindow::Send() {
    const std::string text = input_->toPlainText().toStdString();
    if (text.empty() || session_ == nullptr) {
        return;
    }
    session_->SubmitMessage(id_, text);
    input_->clear();  // a text change: typing ends
    input_->setFocus();
    PutCaretAtStart();
}

void ConversationWindow::InputChanged() {
    if (cutting_ || session_ == nullptr) {
        return;
    }
    std::string text = input_->toPlainText().toStdString();
    if (text.size() > kInputLimit) {
        QApplication::beep();
        text.resize(CutOnCharacterBoundary(text, kInputLimit));
        const QTextCursor before = input_->textCursor();
        const int anchor = before.anchor();
        const int position = before.position();
        cutting_ = true;
        input_->setPlainText(QString::fromStdString(text));
        cutting_ = false;
        QTextCursor after = input_->textCursor();
        const int end = input_->document()->characterCount() - 1;
        after.setPosition(std::min(anchor, end));
        after.setPosition(std::min(position, end), QTextCursor::KeepAnchor);
        input_->setTextCursor(after);
    }
    session_->ConversationInputChanged(id_, text.size());
}

void ConversationWindow::InsertCode(std::string_view code) {
    // At the caret, over any selection, as typing would: undo takes it back.
    input_->textCursor().insertText(Q(code));
    input_->setFocus();
}

void ConversationWindow::ShowInviteMenu() {
    if (session_ == nullptr) {
        return;
    }
    const std::vector<std::string> offered = session_->InviteCandidates(id_);
    if (offered.empty()) {
        return;
    }
    invite_menu_->clear();
    for (size_t i = 0; i < offered.size(); ++i) {
        QAction* action = invite_menu_->addAction(Q(offered[i]));
        const int position = static_cast<int>(i);
        action->setData(position);
        connect(action, &QAction::triggered, this, [this, position] { Invite(position); });
    }
    invite_menu_->popup(QCursor::pos());
}

void ConversationWindow::Invite(int position) {
    if (session_ == nullptr) {
        return;
    }
    // The contacts may have changed since the menu opened: the item names
    // whichever contact is offered at its position now.
    const std::vector<std::string> offered = session_->InviteCandidates(id_);
    if (position < 0 || static_cast<size_t>(position) >= offered.size()) {
        return;
    }
    session_->InviteToConversation(id_, offered[static_cast<size_t>(position)]);
}

// What the session holds: destroying it hides the window and deletes it once
// the current event is over (the close box destroys the view from inside the
// window's own event).
class ConversationWindowView final : public ConversationView {
  public:
    ConversationWindowView(Session& session, ConversationId id)
        : window_(new ConversationWindow(session, id)) {
        // Showing it never takes the keyboard from the user's work; Raise does.
        window_->setAttribute(Qt::WA_ShowWithoutActivating);
    }
    ~ConversationWindowView() override {
        if (window_) {
            window_->Detach();
            window_->hide();
            window_->deleteLater();
        }
    }
    void AppendMessage(std::string_view sender, std::string_view text) override {
        window_->AppendMessage(sender, text);
    }
    void AppendInfo(std::string_view text) override { window_->AppendInfo(text); }
    void SetTitle(std::string_view title, std::string_view typing_line) override {
        window_->SetTitle(title, typing_line);
    }
    void Show() override { window_->show(); }
    void Raise() override {
        if (window_->isMinimized()) {
            window_->showNormal();
        }
        window_->raise();
        window_->activateWindow();
    }
    bool IsVisible() const override { return window_->isVisible(); }
    bool IsActive() const override { return window_->isActiveWindow(); }
    void RequestAttention() override { QApplication::alert(window_); }

  private:
    QPointer<ConversationWindow> window_;  // a top-level window: no Qt parent
};

}  // namespace

std::unique_ptr<ConversationView> CreateConversationWindow(Session& session, ConversationId id) {
    return std::make_unique<ConversationWindowView>(session, id);
}

}  // namespace parlo::client
