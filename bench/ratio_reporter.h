#pragma once

// A console reporter that also prints how much slower each benchmark is than a
// named baseline measured in the same run, so the comparison never mixes
// machines or moments.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ombrelin::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Each pair: (benchmark, baseline); the ratio printed is benchmark / baseline.
  explicit RatioReporter(std::vector<std::pair<std::string, std::string>> comparisons)
      : comparisons_(std::move(comparisons)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const auto& [name, baseline] : comparisons_) {
      const auto measured = times_.find(name);
      const auto base = times_.find(baseline);
      if (measured == times_.end() || base == times_.end() || base->second <= 0) {
        continue;
      }
      std::printf("ratio %s / %s = %.2f\n", name.c_str(), baseline.c_str(),
                  measured->second / base->second);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> comparisons_;
  std::map<std::string, double> times_;
};

// Runs the registered benchmarks with a RatioReporter.
inline int run_with_ratios(int argc, char** argv,
                           std::vector<std::pair<std::string, std::string>> comparisons) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter(std::move(comparisons));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace ombrelin::bench
