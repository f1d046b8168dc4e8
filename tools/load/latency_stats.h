// Latency samples of one phase and their summary (count, mean, percentiles).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace parlo::load {

struct LatencySummary {
    size_t count = 0;
    double mean_us = 0;
    double p50_us = 0;
    double p99_us = 0;
    double max_us = 0;
};

class LatencySamples {
  public:
    void Reserve(size_t n) { samples_ns_.reserve(n); }
    void Add(int64_t nanoseconds);
    size_t Count() const { return samples_ns_.size(); }
    void Clear() { samples_ns_.clear(); }

    // Percentiles by nearest rank (the smallest sample with at least p% of
    // the samples at or below it); all zero when there is no sample.
    LatencySummary Summarize() const;

  private:
    std::vector<int64_t> samples_ns_;
};

}  // namespace parlo::load
