#include "client/ui/common/dialog_parts.h"

#include <QBoxLayout>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace parlo::client::dialogs {
namespace {

// A focused button answers Enter itself, as on every desktop, instead of
// letting the dialog press its default button.
class DialogButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

}  // namespace

void SetUpDialog(QDialog* dialog, const QString& title) {
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
}

QPushButton* MakeButton(const QString& text, QWidget* parent, bool is_default) {
    auto* button = new DialogButton(text, parent);
    button->setAutoDefault(is_default);
    button->setDefault(is_default);
    return button;
}

void NameWidgets(std::initializer_list<std::pair<QWidget*, const char*>> names) {
    for (const auto& [widget, name] : names) {
        widget->setObjectName(QLatin1String(name));
    }
}

void AddButtonRow(QBoxLayout* layout, std::initializer_list<QWidget*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QWidget* button : buttons) {
        row->addWidget(button);
    }
    layout->addLayout(row);
}

}  // namespace parlo::client::dialogs
