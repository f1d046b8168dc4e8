#include "tools/load/latency_stats.h"

#include <algorithm>
#include <cmath>

namespace parlo::load {

namespace {

double NearestRank(const std::vector<int64_t>& sorted, double percent) {
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(sorted.size()));
    const size_t index = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
    return static_cast<double>(sorted[std::min(index, sorted.size() - 1)]) / 1000.0;
}

}  // namespace

void LatencySamples::Add(int64_t nanoseconds) {
    // A clock step backwards must not turn into a huge unsigned latency.
    samples_ns_.push_back(std::max<int64_t>(nanoseconds, 0));
}

LatencySummary LatencySamples::Summarize() const {
    LatencySummary summary;
    if (samples_ns_.empty()) {
        return summary;
    }
    std::vector<int64_t> sorted = samples_ns_;
    std::sort(sorted.begin(), sorted.end());
    double total = 0;
    for (int64_t sample : sorted) {
        total += static_cast<double>(sample);
    }
    summary.count = sorted.size();
    summary.mean_us = total / static_cast<double>(sorted.size()) / 1000.0;
    summary.p50_us = NearestRank(sorted, 50);
    summary.p99_us = NearestRank(sorted, 99);
    summary.max_us = static_cast<double>(sorted.back()) / 1000.0;
    return summary;
}

}  // namespace parlo::load
