#include "server/service/control_protocol.h"

namespace parlo::server {
namespace {

void AppendEscapedField(std::string& out, std::string_view field) {
    for (const char c : field) {
        switch (c) {
            case '%':
                out.append("%25");
                break;
            case '\t':
                out.append("%09");
                break;
            case '\r':
                out.append("%0D");
                break;
            case '\n':
                out.append("%0A");
                break;
            default:
                out.push_back(c);
        }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string FormatRow(char head, std::span<const std::string> fields) {
    std::string line(1, head);
    for (const std::string& field : fields) {
        line.push_back('\t');
        AppendEscapedField(line, field);
    }
    line.push_back('\n');
    return line;
}

}  // namespace

std::string JoinControlFields(std::span<const std::string> fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            line.push_back('\t');
        }
        AppendEscapedField(line, fields[i]);
    }
    line.push_back('\n');
    return line;
}

std::optional<std::vector<std::string>> SplitControlLine(std::string_view line) {
    std::vector<std::string> fields(1);
    for (size_t k = 0; k < line.size(); ++k) {
        const char c = line[k];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '%') {
            if (k + 2 >= line.size()) {
                return std::nullopt;
            }
            const int high = HexValue(line[k + 1]);
            const int low = HexValue(line[k + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            fields.back().push_back(static_cast<char>(high * 16 + low));
            k += 2;
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

std::string FormatControlAnswer(const ControlAnswer& answer) {
    std::string text;
    for (const std::vector<std::string>& row : answer.rows) {
        text.append(FormatRow('=', row));
    }
    text.append(answer.ok ? "ok\t" : "err\t");
    AppendEscapedField(text, answer.message);
    text.push_back('\n');
    return text;
}

}  // namespace parlo::server
