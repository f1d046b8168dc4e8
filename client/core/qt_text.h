// Text between the core's UTF-8 std::string_view and Qt's QString.
#pragma once

#include <string>
#include <string_view>

#include <QString>

namespace parlo::client {

inline QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace parlo::client
