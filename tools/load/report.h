// The figures of each phase, printed as a small table or written as JSON.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace parlo::load {

struct Figure {
    std::string key;  // snake_case, with its unit as suffix ("_s", "_us", "_kib")
    double value = 0;
};

struct PhaseReport {
    explicit PhaseReport(std::string name = {}) : phase(std::move(name)) {}

    std::string phase;
    std::vector<Figure> figures;
    std::vector<std::string> notes;  // problems seen (timeouts, refusals)

    void Add(std::string_view key, double value) { figures.push_back({std::string(key), value}); }
};

// One block per phase: "phase" then "  key  value" lines, notes last.
std::string FormatTable(const std::vector<PhaseReport>& reports);
// {"phases":[{"phase":"...","figures":{"key":value,...},"notes":["..."]}]}
std::string FormatJson(const std::vector<PhaseReport>& reports);
// A JSON string literal with quotes, backslashes and control bytes escaped.
std::string JsonString(std::string_view text);
// Shortest exact-enough text of a figure: integers without decimals, others
// with up to 6 significant digits; never "nan" or "inf" (JSON has neither).
std::string FormatNumber(double value);

}  // namespace parlo::load
