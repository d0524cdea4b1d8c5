// Figures of the benchmarks: the summary of a sample and the result rows
// that scripts/bench collects from every benchmark program. A result row is
// one line of tab-separated fields:
//   @row  figure  unit  median  p99  floor  floor-median  floor-p99
// where "floor" names what the figure is compared with, measured in the
// same run, and a p99 of "-" marks a single reading. The program's own
// human-readable lines stay beside the rows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace bench {

struct Summary {
    double median = 0;
    double p99 = 0;
    double mean = 0;
    double max = 0;
    std::size_t n = 0;
};

// The nearest-rank percentile p (0..1) of a sample; 0 for an empty one.
inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5))];
}

inline Summary Summarise(const std::vector<double>& values) {
    Summary s;
    s.n = values.size();
    if (values.empty()) return s;
    double sum = 0;
    for (double v : values) sum += v;
    s.median = Percentile(values, 0.5);
    s.p99 = Percentile(values, 0.99);
    s.mean = sum / static_cast<double>(values.size());
    s.max = *std::max_element(values.begin(), values.end());
    return s;
}

// A figure read once (a memory size, a count).
inline Summary Single(double value) { return Summarise({value}); }

inline void PrintRow(const char* figure, const char* unit, const Summary& s, const char* floor,
                     const Summary& f) {
    auto spread = [](const Summary& x, char* text, std::size_t size) {
        if (x.n > 1)
            std::snprintf(text, size, "%.6g", x.p99);
        else
            std::snprintf(text, size, "-");
    };
    char p99[32], floorP99[32];
    spread(s, p99, sizeof p99);
    spread(f, floorP99, sizeof floorP99);
    std::printf("@row\t%s\t%s\t%.6g\t%s\t%s\t%.6g\t%s\n", figure, unit, s.median, p99, floor, f.median, floorP99);
    std::fflush(stdout);
}

}  // namespace bench
