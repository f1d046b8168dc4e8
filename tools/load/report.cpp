#include "tools/load/report.h"

#include <cmath>
#include <cstdio>

namespace parlo::load {

std::string FormatNumber(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char text[64];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        std::snprintf(text, sizeof text, "%.6g", value);
    }
    return text;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;  // UTF-8 passes through unchanged
                }
        }
    }
    out += '"';
    return out;
}

std::string FormatTable(const std::vector<PhaseReport>& reports) {
    std::string out;
    for (const PhaseReport& report : reports) {
        out += report.phase;
        out += '\n';
        for (const Figure& figure : report.figures) {
            char line[160];
            std::snprintf(line, sizeof line, "  %-28s %14s\n", figure.key.c_str(),
                          FormatNumber(figure.value).c_str());
            out += line;
        }
        for (const std::string& note : report.notes) {
            out += "  ! ";
            out += note;
            out += '\n';
        }
    }
    return out;
}

std::string FormatJson(const std::vector<PhaseReport>& reports) {
    std::string out = "{\"phases\":[";
    for (size_t i = 0; i < reports.size(); ++i) {
        const PhaseReport& report = reports[i];
        out += i == 0 ? "\n" : ",\n";
        out += "{\"phase\":";
        out += JsonString(report.phase);
        out += ",\"figures\":{";
        for (size_t f = 0; f < report.figures.size(); ++f) {
            out += f == 0 ? "" : ",";
            out += JsonString(report.figures[f].key);
            out += ':';
            out += FormatNumber(report.figures[f].value);
        }
        out += "},\"notes\":[";
        for (size_t n = 0; n < report.notes.size(); ++n) {
            out += n == 0 ? "" : ",";
            out += JsonString(report.notes[n]);
        }
        out += "]}";
    }
    out += "\n]}\n";
    return out;
}

}  // namespace parlo::load
