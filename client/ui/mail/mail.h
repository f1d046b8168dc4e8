// E-mail to a contact: the desktop's mail program opens a new message
// addressed to the contact, through its handler of mailto links.
#pragma once

#include <QString>
#include <QUrl>

#include <string_view>

namespace parlo::client {

// "mailto:" with the address percent-encoded, so that nothing in it ("?",
// "&", "%", spaces) can add headers or a body; "mailto:" alone for an empty
// address (an empty new message).
QUrl MailToUrl(std::string_view address);

// Asks the desktop to open a new message to `address`; false when nothing
// could handle it.
bool OpenMailProgram(std::string_view address);

// The box text shown when no mail program could be opened.
QString MailUnavailableText(std::string_view address);

}  // namespace parlo::client
