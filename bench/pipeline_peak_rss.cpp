// pipeline_peak_rss: runs the whole pipeline once on a file and prints the
// process's peak resident memory next to the file's size, and what each
// stage of that one run took. A process of its own, so that nothing else (a
// benchmark's other sessions, memory a previous run freed) changes the figures:
// this is what a fresh tabrelium-cli process meets.
//
//   pipeline_peak_rss FILE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench/whole_pipeline.h"

namespace {

using Clock = std::chrono::steady_clock;

// A "Vm...:  N kB" line of /proc/self/status, in bytes; -1 when missing.
long long StatusBytes(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::stoll(line.substr(key.size() + 1)) * 1024;
  }
  return -1;
}

// The high-water mark of resident memory (VmHWM); getrusage's ru_maxrss,
// the same mark in KiB, where /proc is missing.
long long PeakResidentBytes() {
  const long long hwm = StatusBytes("VmHWM");
  if (hwm >= 0) return hwm;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<long long>(usage.ru_maxrss) * 1024;
}

long long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

double MiB(long long bytes) { return static_cast<double>(bytes) / 1048576.0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: pipeline_peak_rss FILE\n", stderr);
    return 2;
  }
  const long long before = PeakResidentBytes();
  tabrelium::Session session;
  std::string error;
  const Clock::time_point start = Clock::now();
  Clock::time_point last = start;
  long long lastFaults = MinorFaults();
  std::string stages;
  auto stageDone = [&](std::string_view stage) {
    const Clock::time_point now = Clock::now();
    const long long faults = MinorFaults();
    char line[160];
    std::snprintf(line, sizeof line, "  %-17s %8.1f ms %8lld faults  rss %7.1f MiB  peak %7.1f MiB\n",
                  std::string(stage).c_str(),
                  std::chrono::duration<double, std::milli>(now - last).count(),
                  faults - lastFaults, MiB(StatusBytes("VmRSS")), MiB(PeakResidentBytes()));
    stages += line;
    last = now;
    lastFaults = faults;
  };
  if (!tabrelium::bench::RunWholePipeline(argv[1], session, error, stageDone)) {
    std::fprintf(stderr, "pipeline_peak_rss: %s\n", error.c_str());
    return 1;
  }
  const std::chrono::duration<double> took = Clock::now() - start;
  const long long peak = PeakResidentBytes();
  const long long fileBytes = session.Text().sourceSize;
  std::printf("file_bytes=%lld rows=%d image_bytes=%d\n", fileBytes, session.Cells().rowCount,
              session.Image().imageSize);
  std::printf("peak_rss_bytes=%lld peak_rss_mib=%.1f ratio=%.2f\n", peak, MiB(peak),
              fileBytes > 0 ? static_cast<double>(peak) / static_cast<double>(fileBytes) : 0.0);
  // What the process held before the pipeline started: the program itself.
  std::printf("rss_before_pipeline_bytes=%lld single_run_seconds=%.3f\n", before, took.count());
  std::printf("stages of this run:\n%s", stages.c_str());
  return 0;
}
