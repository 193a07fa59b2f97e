// Several devices at once against the emulator, each at full-speed timing
// (1 ms per frame each way) and each with a 1 MiB table: every device's rate
// against the single-device ceiling (one request and 32 answers per
// 1758-byte block: 53.3 kB/s), and the host's answer time to each request
// (from the read that delivers it to the first answer written). Then the
// host's CPU while the window is open with the devices connected and idle.
//
//   multi_device_bench [--devices N] [--runs N] [--bytes N] [--idle-seconds S]
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/main_dlg.h"
#include "device/device_list.h"
#include "bench/download_timing.h"
#include "device/download_thread.h"
#include "device/hid_link.h"
#include "tools/hidemu/hidemu_control.h"

namespace {

using namespace tabrelium::bench;


// All devices at once, `runs` times: each device's median rate against the
// ceiling, and the answer times of every request of every run.
void Throughput(int devices, int runs, const tabrelium::DownloadPackage& package) {
  std::vector<std::vector<double>> ratios(devices);
  std::vector<unsigned long long> answers;
  for (int run = 0; run < runs; ++run) {
    hidemu_reset();
    const std::vector<tabrelium::DeviceInfo> listed = tabrelium::ListDevices();
    if (static_cast<int>(listed.size()) != devices) {
      std::printf("  run %d: %zu devices listed, not %d\n", run + 1, listed.size(), devices);
      return;
    }
    std::vector<std::unique_ptr<TimingOwner>> owners;
    std::vector<std::unique_ptr<tabrelium::HidLink>> links;
    std::vector<tabrelium::DownloadOutcome> outcomes(devices);
    std::vector<std::thread> threads;
    for (int i = 0; i < devices; ++i) {
      owners.push_back(std::make_unique<TimingOwner>());
      links.push_back(std::make_unique<tabrelium::HidLink>(listed[i].path));
    }
    for (int i = 0; i < devices; ++i)
      threads.emplace_back([&, i] {
        outcomes[i] = tabrelium::DownloadThread(*owners[i], *links[i], package).outcome;
      });
    for (auto& t : threads) t.join();
    for (int i = 0; i < devices; ++i) {
      if (outcomes[i] != tabrelium::DownloadOutcome::kCompleted) {
        std::printf("  run %d: device %d did not complete\n", run + 1, i);
        continue;
      }
      const double s =
          std::chrono::duration<double>(owners[i]->completed - owners[i]->firstBlock).count();
      ratios[i].push_back(package.DataLength() / s / kCeilingBytesPerSecond);
    }
    std::vector<unsigned long long> ns(hidemu_answer_latencies_ns(nullptr, 0));
    hidemu_answer_latencies_ns(ns.data(), ns.size());
    answers.insert(answers.end(), ns.begin(), ns.end());
  }
  double worst = 1e9;
  for (int i = 0; i < devices; ++i) {
    const double ratio = Median(ratios[i]);
    worst = std::min(worst, ratio);
    std::printf("device %d: median %.1f kB/s, %.3f of the %.1f kB/s ceiling (%zu runs)\n", i,
                ratio * kCeilingBytesPerSecond / 1000, ratio, kCeilingBytesPerSecond / 1000,
                ratios[i].size());
  }
  std::printf("slowest device: %.3f of the ceiling (target >= 0.95)\n", worst);
  std::sort(answers.begin(), answers.end());
  if (answers.empty()) return;
  auto at = [&](double q) { return answers[static_cast<size_t>(q * (answers.size() - 1))] / 1e6; };
  std::printf("answer time, %d devices at once: median %.3f ms, p90 %.3f ms, p99 %.3f ms "
              "(%zu requests; target median < 0.3 ms)\n",
              devices, at(0.5), at(0.9), at(0.99), answers.size());
}

// The window open, the devices connected, nothing downloading.
void IdleWindowCpu(int argc, char** argv, int devices, int seconds) {
  hidemu_reset();
  QApplication app(argc, argv);
  tabrelium::CMainDlg dialog;
  dialog.show();
  // The event loop as the program runs it: settled first, then measured.
  QTimer::singleShot(2000, &app, &QCoreApplication::quit);
  app.exec();
  const double cpu0 = CpuSeconds();
  const auto wall0 = Clock::now();
  QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
  app.exec();
  const double cpu = CpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  std::printf("host CPU, window open, %d devices connected and idle: %.2f %% of one core "
              "(%d s; target < 1 %%)\n",
              devices, 100 * cpu / wall, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  int devices = 4, runs = 3, idleSeconds = 10;
  size_t bytes = size_t{1} << 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--devices")) devices = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--bytes")) bytes = std::strtoul(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--idle-seconds")) idleSeconds = std::atoi(argv[i + 1]);
  }
  setenv("TABRELIUM_EMU_COUNT", std::to_string(devices).c_str(), 1);
  setenv("TABRELIUM_EMU_FRAME_US", "1000", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Throughput(devices, runs, PackageOf(bytes));
  IdleWindowCpu(argc, argv, devices, idleSeconds);
}
