// The commands by which an end-to-end test works a running client's widgets,
// one line each, answered with one line: "ok" and what was asked for, or
// "error" and why. Widgets are named by paths: a window's object name,
// optionally followed by "[part of its caption]", then "/" and a child's
// object name ("settings/login", "conversation[carl]/input").
//
// Queries answer at once:
//   windows                  the visible windows: name[caption], "; " between
//   visible <path>           "yes" or "no"
//   active <path>            "yes" or "no": the window the user works in
//   text <path>              a field's, label's or button's text, a window's caption
//   rows <path>              a list's rows, columns joined by "|", rows by "; "
//   items <path>             an open pop-up menu's items, "; " between
//   transcript <path>        a conversation transcript's whole text
//   pictures <path>          the emoticon pictures it draws, by bitmap number
//   box                      the open message box: "caption|text", or "none"
//   state                    what the main window's contact list shows
// Actions run just after the answer, because they may open a modal window
// whose event loop only returns when it closes:
//   type <path> <text>       key presses typing the text (the rest of the line)
//   key <path> <name>        one key: Return, Enter, Escape, Backspace, Tab
//   click <path>             a left click in the middle of the widget
//   click-row <path> <text>  a click on the list row whose first column reads text
//   menu <window> <A/B>      the menu-bar item B of menu A (A/S/B: of its submenu S)
//   choose <menu> <item>     the item of an open pop-up menu: its text, or #n
//                            (from 0) among its items
//   activate <path>          the user switches to the widget's window
//   answer <ok|yes|no>       a button of the open message box
//   open-contact <login>     a double click on the contact's row
// Texts in answers keep "\n" for line feeds and "\\" for backslashes.
#pragma once

#include <string>
#include <string_view>

namespace parlo::client::testing {

std::string RunWidgetCommand(std::string_view line);

}  // namespace parlo::client::testing
