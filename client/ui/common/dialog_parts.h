// What the client's dialogs share: push buttons that answer Enter themselves
// when they have the focus, and the right-aligned row of buttons at the bottom of a
// dialog. Text conversions are client/core/qt_text.h.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include <QString>

#include "client/core/qt_text.h"

class QBoxLayout;
class QDialog;
class QPushButton;
class QWidget;

namespace parlo::client::dialogs {

// A fixed-size dialog window: title bar with the close box only.
void SetUpDialog(QDialog* dialog, const QString& title);

// A push button in a dialog. Enter in the dialog's fields presses the
// default button; Enter on a button that has the focus presses that button.
// The others never become default when they take the focus.
QPushButton* MakeButton(const QString& text, QWidget* parent, bool is_default = false);

// Gives each widget its object name, by which tools and tests find it.
void NameWidgets(std::initializer_list<std::pair<QWidget*, const char*>> names);

// Adds a row holding `buttons`, pushed to the right, to `layout`.
void AddButtonRow(QBoxLayout* layout, std::initializer_list<QWidget*> buttons);

}  // namespace parlo::client::dialogs
