// How fast a download runs against the emulated device, and what the host
// costs while it serves one:
// - throughput of a 1 MiB table at 1 ms per frame each way, against the
//   bus's ceiling (one request and 32 answers per 1758-byte block: 33 ms),
//   on a good cable and with 5 % of the frames lost;
// - the host's answer time on an instant bus: from the read that delivers a
//   device request to the start of the first answer written;
// - the host's CPU use while a device is connected but silent.
//
//   download_bench [--runs N] [--bytes N]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/download_timing.h"
#include "device/download_thread.h"
#include "device/hid_link.h"
#include "tools/hidemu/hidemu_control.h"

namespace {

using namespace tabrelium::bench;

void SetKnobs(const char* frameUs, const char* loss, int seed) {
  setenv("TABRELIUM_EMU_FRAME_US", frameUs, 1);
  setenv("TABRELIUM_EMU_LOSS", loss, 1);
  setenv("TABRELIUM_EMU_SEED", std::to_string(seed).c_str(), 1);
  unsetenv("TABRELIUM_EMU_MUTE");
  hidemu_reset();
}

void Throughput(const char* loss, int runs, const tabrelium::DownloadPackage& package) {
  std::vector<double> ratios, seconds;
  for (int run = 0; run < runs; ++run) {
    SetKnobs("1000", loss, run + 1);
    TimingOwner owner;
    tabrelium::HidLink link;
    const auto result = tabrelium::DownloadThread(owner, link, package);
    if (result.outcome != tabrelium::DownloadOutcome::kCompleted) {
      std::printf("  run %d did not complete\n", run + 1);
      continue;
    }
    const double s = std::chrono::duration<double>(owner.completed - owner.firstBlock).count();
    seconds.push_back(s);
    ratios.push_back(package.DataLength() / s / kCeilingBytesPerSecond);
  }
  std::printf("throughput, loss %s: median %.2f s for %u bytes = %.1f kB/s, %.3f of the %.1f kB/s "
              "ceiling (%zu runs)\n",
              loss, Median(seconds), package.DataLength(),
              package.DataLength() / Median(seconds) / 1000, Median(ratios),
              kCeilingBytesPerSecond / 1000, ratios.size());
}

void AnswerLatency(const tabrelium::DownloadPackage& package) {
  SetKnobs("0", "0", 1);
  TimingOwner owner;
  tabrelium::HidLink link;
  tabrelium::DownloadThread(owner, link, package);
  std::vector<unsigned long long> ns(hidemu_answer_latencies_ns(nullptr, 0));
  hidemu_answer_latencies_ns(ns.data(), ns.size());
  std::sort(ns.begin(), ns.end());
  if (ns.empty()) return;
  auto at = [&](double q) { return ns[static_cast<size_t>(q * (ns.size() - 1))] / 1000.0; };
  std::printf("answer time, instant bus: median %.1f us, p90 %.1f us, p99 %.1f us (%zu requests)\n",
              at(0.5), at(0.9), at(0.99), ns.size());
}


void IdleCpu(const tabrelium::DownloadPackage& package) {
  SetKnobs("1000", "0", 1);
  setenv("TABRELIUM_EMU_MUTE", "1", 1);
  TimingOwner owner;
  tabrelium::HidLink link;
  std::thread download([&] { tabrelium::DownloadThread(owner, link, package); });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past the connection
  const double cpu0 = CpuSeconds();
  const auto wall0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const double cpu = CpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  owner.m_hStopEvent.Set();
  download.join();
  std::printf("host CPU while the device is silent: %.2f %% of one core\n", 100 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  size_t bytes = size_t{1} << 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--bytes")) bytes = std::strtoul(argv[i + 1], nullptr, 10);
  }
  const tabrelium::DownloadPackage package = PackageOf(bytes);
  Throughput("0", runs, package);
  Throughput("0.05", runs, package);
  AnswerLatency(package);
  IdleCpu(package);
}
