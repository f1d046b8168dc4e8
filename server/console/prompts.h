// The questions and warnings the console's dialogs put to the operator,
// behind an interface so that tests answer them without a modal loop.
#pragma once

#include <QString>

class QWidget;

namespace parlo::server {

class OperatorPrompts {
  public:
    virtual ~OperatorPrompts() = default;
    // A Yes/No question, Yes the default button; true for Yes.
    virtual bool Confirm(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A message with one OK button.
    virtual void Warn(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// Message boxes.
class MessageBoxPrompts final : public OperatorPrompts {
  public:
    bool Confirm(QWidget* parent, const QString& caption, const QString& text) override;
    void Warn(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace parlo::server
