#include "tests/client_e2e/widget_commands.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <optional>

#include "client/core/qt_text.h"
#include "client/ui/conversation/transcript_layout.h"
#include "client/ui/conversation/transcript_view.h"
#include "client/ui/shell/contact_list_view.h"

namespace parlo::client::testing {
namespace {

std::string Escaped(const QString& text) {
    std::string out;
    for (const char c : text.toUtf8()) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out;
}

std::string Ok(const QString& text = {}) {
    return text.isEmpty() ? "ok" : "ok " + Escaped(text);
}

std::string Error(std::string_view why) {
    return "error " + std::string(why);
}

// Menu and button texts compare without their shortcut marks.
QString Plain(QString text) {
    return text.remove(QLatin1Char('&'));
}

// The first word of `rest`, which then holds what follows its space.
std::string_view TakeWord(std::string_view& rest) {
    const size_t space = rest.find(' ');
    const std::string_view word = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return word;
}

// A widget found for a path, or why none was.
struct Found {
    QWidget* widget = nullptr;
    std::string error;
};

// "name", "name[caption part]", either followed by "/child".
struct Path {
    QString window;
    std::optional<QString> caption_part;
    QString child;
};

Path ParsePath(std::string_view text) {
    Path path;
    const size_t bracket = text.find('[');
    const size_t close = text.find(']');
    size_t after_window = text.find('/');
    if (bracket != std::string_view::npos && close != std::string_view::npos && bracket < close &&
        (after_window == std::string_view::npos || bracket < after_window)) {
        path.window = Q(text.substr(0, bracket));
        path.caption_part = Q(text.substr(bracket + 1, close - bracket - 1));
        after_window = text.find('/', close);
    } else {
        path.window = Q(text.substr(0, after_window));
    }
    if (after_window != std::string_view::npos) {
        path.child = Q(text.substr(after_window + 1));
    }
    return path;
}

Found FindWindow(const Path& path, bool visible_only = true) {
    std::vector<QWidget*> matches;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() != path.window || (visible_only && !window->isVisible())) {
            continue;
        }
        if (path.caption_part && !window->windowTitle().contains(*path.caption_part)) {
            continue;
        }
        matches.push_back(window);
    }
    if (matches.empty()) {
        return {nullptr, "no window " + path.window.toStdString()};
    }
    if (matches.size() > 1) {
        return {nullptr, "several windows " + path.window.toStdString()};
    }
    return {matches.front(), {}};
}

Found FindWidget(std::string_view text, bool visible_only = true) {
    const Path path = ParsePath(text);
    Found window = FindWindow(path, visible_only);
    if (window.widget == nullptr || path.child.isEmpty()) {
        return window;
    }
    // Only the window's own widgets: a dialog it owns has children too.
    for (QWidget* child : window.widget->findChildren<QWidget*>(path.child)) {
        if (child->window() == window.widget) {
            return {child, {}};
        }
    }
    return {nullptr, "no widget " + std::string(text)};
}

// Runs `action` once the answer has gone out: it may open a modal window.
std::string Later(QWidget* widget, std::function<void(QWidget&)> action) {
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [target = QPointer<QWidget>(widget), action = std::move(action)] {
                           if (target) {
                               action(*target);
                           }
                       });
    return Ok();
}

QString TextOf(QWidget& widget) {
    if (widget.isWindow()) {
        return widget.windowTitle();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(&widget)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        return label->text();
    }
    if (auto* plain = qobject_cast<QPlainTextEdit*>(&widget)) {
        return plain->toPlainText();
    }
    if (auto* rich = qobject_cast<QTextEdit*>(&widget)) {
        return rich->toPlainText();
    }
    return {};
}

QString Rows(QTreeWidget& list) {
    QStringList rows;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *list.topLevelItem(row);
        QStringList columns;
        for (int column = 0; column < list.columnCount(); ++column) {
            columns << item.text(column);
        }
        rows << columns.join(QLatin1Char('|'));
    }
    return rows.join(QStringLiteral("; "));
}

QMessageBox* OpenBox() {
    if (auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        return modal;
    }
    return nullptr;
}

ContactListView* ContactList() {
    const Found main = FindWindow(ParsePath("main"), false);
    return main.widget != nullptr ? main.widget->findChild<ContactListView*>() : nullptr;
}

// " a, b" for the logins a and b; nothing for none.
QString Logins(const std::vector<const Contact*>& rows) {
    QString logins;
    for (const Contact* contact : rows) {
        logins +=
            (logins.isEmpty() ? QStringLiteral(" ") : QStringLiteral(", ")) + Q(contact->login);
    }
    return logins;
}

std::optional<Qt::Key> KeyNamed(std::string_view name) {
    if (name == "Return") {
        return Qt::Key_Return;
    }
    if (name == "Enter") {
        return Qt::Key_Enter;
    }
    if (name == "Escape") {
        return Qt::Key_Escape;
    }
    if (name == "Backspace") {
        return Qt::Key_Backspace;
    }
    if (name == "Tab") {
        return Qt::Key_Tab;
    }
    return std::nullopt;
}

// One key press and release per character, each carrying its text, as a
// keyboard sends them (QTest::keyClicks knows ASCII only).
void TypeText(QWidget& target, const QString& text) {
    for (const QChar c : text) {
        const QChar upper = c.toUpper();
        const auto key =
            upper.unicode() < 0x100 ? static_cast<Qt::Key>(upper.unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, &target, key, QString(c), Qt::NoModifier);
    }
}

std::string ClickRow(QWidget& widget, const QString& first_column) {
    auto* list = qobject_cast<QTreeWidget*>(&widget);
    if (list == nullptr) {
        return Error("not a list");
    }
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->text(0) == first_column) {
            list->scrollToItem(item);
            const QPoint middle = list->visualItemRect(item).center();
            return Later(list->viewport(), [middle](QWidget& viewport) {
                QTest::mouseClick(&viewport, Qt::LeftButton, {}, middle);
            });
        }
    }
    return Error("no such row");
}

std::string TriggerMenuItem(QWidget& window, std::string_view menu_path) {
    auto* main = qobject_cast<QMainWindow*>(&window);
    if (main == nullptr) {
        return Error("no menu bar");
    }
    const size_t slash = menu_path.find('/');
    const QString title = Q(menu_path.substr(0, slash));
    QStringList items = slash == std::string_view::npos
                            ? QStringList()
                            : Q(menu_path.substr(slash + 1)).split(QLatin1Char('/'));
    const QString item = items.isEmpty() ? QString() : items.takeLast();
    for (QAction* menu_action : main->menuBar()->actions()) {
        if (Plain(menu_action->text()) != Plain(title) || menu_action->menu() == nullptr) {
            continue;
        }
        QMenu* menu = menu_action->menu();
        for (const QString& submenu : items) {  // "Fichier/Etat/Absent(e)"
            const QList<QAction*> actions = menu->actions();
            const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction* action) {
                return action->menu() != nullptr && Plain(action->text()) == Plain(submenu);
            });
            if (found == actions.end()) {
                return Error("no such submenu");
            }
            menu = (*found)->menu();
        }
        for (QAction* action : menu->actions()) {
            if (Plain(action->text()) == Plain(item)) {
                if (!action->isEnabled()) {
                    return Error("greyed");
                }
                return Later(main, [action = QPointer<QAction>(action)](QWidget&) {
                    if (action) {
                        action->trigger();
                    }
                });
            }
        }
        return Error("no such item");
    }
    return Error("no such menu");
}

// A menu's items as the user sees them: no separators, no hidden items.
std::vector<QAction*> MenuItems(const QMenu& menu) {
    std::vector<QAction*> items;
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator() && action->isVisible()) {
            items.push_back(action);
        }
    }
    return items;
}

std::string ChooseMenuItem(QWidget& widget, std::string_view item) {
    auto* menu = qobject_cast<QMenu*>(&widget);
    if (menu == nullptr) {
        return Error("not a menu");
    }
    const std::vector<QAction*> items = MenuItems(*menu);
    QAction* chosen = nullptr;
    if (!item.empty() && item.front() == '#') {
        const size_t index = Q(item.substr(1)).toUInt();
        chosen = index < items.size() ? items[index] : nullptr;
    } else {
        for (QAction* action : items) {
            if (Plain(action->text()) == Plain(Q(item))) {
                chosen = action;
            }
        }
    }
    if (chosen == nullptr || !chosen->isEnabled()) {
        return Error("no such item");
    }
    // As the keyboard chooses it: the menu itself activates the item.
    return Later(menu, [chosen = QPointer<QAction>(chosen)](QWidget& target) {
        if (chosen) {
            static_cast<QMenu&>(target).setActiveAction(chosen);
            QTest::keyClick(&target, Qt::Key_Return);
        }
    });
}

std::string AnswerBox(std::string_view answer) {
    QMessageBox* box = OpenBox();
    if (box == nullptr) {
        return Error("no box");
    }
    const QMessageBox::StandardButton which = answer == "yes"  ? QMessageBox::Yes
                                              : answer == "no" ? QMessageBox::No
                                                               : QMessageBox::Ok;
    QAbstractButton* button = box->button(which);
    if (button == nullptr) {
        return Error("no such button");
    }
    return Later(button, [](QWidget& target) {
        QTest::mouseClick(&target, Qt::LeftButton, {}, target.rect().center());
    });
}

std::string OpenContact(const QString& login) {
    ContactListView* view = ContactList();
    if (view == nullptr || !view->isVisible()) {
        return Error("no contact list");
    }
    const ContactListLayout layout = view->Layout();
    const std::pair<ContactGroup, int> groups[] = {{ContactGroup::kOnline, layout.OnlineRowY(0)},
                                                   {ContactGroup::kOffline, layout.OfflineRowY(0)}};
    for (const auto& [group, top] : groups) {
        const std::vector<const Contact*> rows = view->ShownRows(group);
        for (size_t row = 0; row < rows.size(); ++row) {
            if (Q(rows[row]->login) == login) {
                const QPoint point(ContactListLayout::kLoginX + 4,
                                   top + static_cast<int>(row) * ContactListLayout::kRowHeight +
                                       ContactListLayout::kRowHeight / 2);
                return Later(view, [point](QWidget& target) {
                    QTest::mouseDClick(&target, Qt::LeftButton, {}, point);
                });
            }
        }
    }
    return Error("no such contact shown");
}

std::string Query(std::string_view verb, std::string_view rest) {
    if (verb == "windows") {
        QStringList windows;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                windows << window->objectName() + QLatin1Char('[') + window->windowTitle() +
                               QLatin1Char(']');
            }
        }
        windows.sort();
        return Ok(windows.join(QStringLiteral("; ")));
    }
    if (verb == "box") {
        const QMessageBox* box = OpenBox();
        return box == nullptr ? Ok(QStringLiteral("none"))
                              : Ok(box->windowTitle() + QLatin1Char('|') + box->text());
    }
    if (verb == "state") {
        const ContactListView* view = ContactList();
        if (view == nullptr) {
            return Error("no contact list");
        }
        return Ok(view->OwnLabel() + QStringLiteral(" | Connecté:") +
                  Logins(view->ShownRows(ContactGroup::kOnline)) +
                  QStringLiteral(" | Déconnecté:") +
                  Logins(view->ShownRows(ContactGroup::kOffline)));
    }
    const std::string path(TakeWord(rest));
    if (verb == "visible" || verb == "active") {
        const Found found = FindWidget(path);
        const bool yes =
            found.widget != nullptr &&
            (verb == "visible" ? found.widget->isVisible() : found.widget->isActiveWindow());
        return Ok(yes ? QStringLiteral("yes") : QStringLiteral("no"));
    }
    const Found found = FindWidget(path);
    if (found.widget == nullptr) {
        return Error(found.error);
    }
    QWidget& widget = *found.widget;
    if (verb == "text") {
        return Ok(TextOf(widget));
    }
    if (verb == "items") {
        auto* menu = qobject_cast<QMenu*>(&widget);
        if (menu == nullptr) {
            return Error("not a menu");
        }
        QStringList items;
        for (const QAction* action : MenuItems(*menu)) {
            items << Plain(action->text());
        }
        return Ok(items.join(QStringLiteral("; ")));
    }
    if (verb == "rows") {
        auto* list = qobject_cast<QTreeWidget*>(&widget);
        return list != nullptr ? Ok(Rows(*list)) : Error("not a list");
    }
    if (verb == "transcript") {
        const auto* transcript = dynamic_cast<const TranscriptView*>(&widget);
        return transcript != nullptr ? Ok(Q(transcript->Text())) : Error("not a transcript");
    }
    if (verb == "pictures") {
        const auto* transcript = dynamic_cast<const TranscriptView*>(&widget);
        if (transcript == nullptr) {
            return Error("not a transcript");
        }
        QStringList pictures;
        for (const TranscriptSegment& segment : transcript->Layout().Segments()) {
            for (const TranscriptRun& run : segment.runs) {
                if (run.bitmap != 0) {
                    pictures << QString::number(run.bitmap);
                }
            }
        }
        return Ok(pictures.join(QLatin1Char(' ')));
    }
    return Error("unknown command");
}

}  // namespace

std::string RunWidgetCommand(std::string_view line) {
    std::string_view rest = line;
    const std::string_view verb = TakeWord(rest);
    if (verb == "answer") {
        return AnswerBox(rest);
    }
    if (verb == "open-contact") {
        return OpenContact(Q(rest));
    }
    if (verb == "type" || verb == "key" || verb == "click" || verb == "click-row" ||
        verb == "menu" || verb == "choose" || verb == "activate") {
        const std::string path(TakeWord(rest));
        const Found found = FindWidget(path, verb != "activate");
        if (found.widget == nullptr) {
            return Error(found.error);
        }
        QWidget& widget = *found.widget;
        if (verb == "type") {
            return Later(&widget, [text = Q(rest)](QWidget& target) {
                target.setFocus(Qt::MouseFocusReason);
                TypeText(target, text);
            });
        }
        if (verb == "key") {
            const std::optional<Qt::Key> key = KeyNamed(rest);
            if (!key) {
                return Error("unknown key");
            }
            return Later(&widget, [key = *key](QWidget& target) { QTest::keyClick(&target, key); });
        }
        if (verb == "click") {
            return Later(&widget, [](QWidget& target) {
                QTest::mouseClick(&target, Qt::LeftButton, {}, target.rect().center());
            });
        }
        if (verb == "click-row") {
            return ClickRow(widget, Q(rest));
        }
        if (verb == "activate") {
            return Later(widget.window(), [](QWidget& window) {
                window.show();
                window.raise();
                window.activateWindow();
            });
        }
        if (verb == "menu") {
            return TriggerMenuItem(widget, rest);
        }
        return ChooseMenuItem(widget, rest);
    }
    return Query(verb, rest);
}

}  // namespace parlo::client::testing
