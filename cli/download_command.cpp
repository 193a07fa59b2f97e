#include "cli/download_command.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cli/download_progress.h"
#include "common/user_texts.h"
#include "data/download_log_entry.h"
#include "device/device_list.h"
#include "device/download_log.h"
#include "device/download_thread.h"
#include "device/hid_link.h"

namespace tabrelium::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Ctrl+C is taken by sigtimedwait on the main thread, never by a handler:
// the first one stops the download as the window's button would, so the
// device's link is closed properly; a second one ends the program at once.
class InterruptWatch {
 public:
  InterruptWatch() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~InterruptWatch() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Waits up to 100 ms; true when Ctrl+C (or a polite kill) arrived.
  bool Wait() {
    const timespec timeout{0, 100 * 1000 * 1000};
    return sigtimedwait(&set_, nullptr, &timeout) > 0;
  }

 private:
  sigset_t set_{};
  sigset_t previous_{};
};

int ReportOutcome(const DownloadResult& result, const DownloadPackage& package,
                  int64_t silenceSeconds) {
  switch (result.outcome) {
    case DownloadOutcome::kCompleted:
      std::printf("complete: %u bytes, CRC-32 0x%08X\n", package.DataLength(), package.Crc());
      return 0;
    case DownloadOutcome::kConnectionFailed:
    case DownloadOutcome::kDisconnected:
      return 1;  // already told, with the reason
    case DownloadOutcome::kDeviceSilent:
      return Report({texts::DeviceSilentText(silenceSeconds, result.everyBlockServed), 1});
    default:
      return Report({texts::DownloadEndingText(result.outcome), 1});
  }
}

// One device's download: its own link, owner and thread, exactly the
// exchange a single device gets.
struct DeviceRun {
  DeviceInfo device;
  std::unique_ptr<HidLink> link;
  std::unique_ptr<CliDownloadOwner> owner;
  DownloadResult result;
  double seconds = 0;
  std::atomic<bool> finished = false;
  std::thread thread;
};

// The download log's line for one device; a log that cannot be written is
// told, but changes no outcome: the device has the table or not either way.
void LogDownload(const Options& options, const Session& session, const DeviceRun& run) {
  if (run.device.path.empty()) return;  // no device was there to serve
  const DownloadLogEntry entry =
      MakeDownloadLogEntry(session, *options.file, run.device, run.result.outcome, run.seconds);
  if (Status logged = AppendDownloadLog(entry, DownloadLogPath()); !logged.ok())
    Warn("the download log could not be written: " + logged.message());
}

// Serves every run at once until all have ended; Ctrl+C stops them all.
void ServeAll(const Options& options, const Session& session,
              std::vector<std::unique_ptr<DeviceRun>>& runs) {
  InterruptWatch interrupts;  // before the threads start, so they inherit the mask
  for (auto& run : runs) {
    const DownloadPackage& package = session.Package();
    run->owner->m_silenceLimit =
        std::chrono::seconds(std::min<int64_t>(options.idleTimeoutSeconds, 1e9));
    DeviceRun* r = run.get();
    r->thread = std::thread([r, &package] {
      const auto start = Clock::now();
      r->result = DownloadThread(*r->owner, *r->link, package);
      r->seconds = std::chrono::duration<double>(Clock::now() - start).count();
      r->finished = true;
    });
  }
  const auto allFinished = [&] {
    return std::all_of(runs.begin(), runs.end(), [](const auto& r) { return r->finished.load(); });
  };
  int interruptCount = 0;
  while (!allFinished()) {
    if (!interrupts.Wait()) continue;
    if (++interruptCount == 1) {
      std::fprintf(stderr,
                   "\ntabrelium-cli: stopping the download (Ctrl+C again to quit at once)\n");
      for (auto& run : runs) run->owner->RequestStop();
    } else {
      std::_Exit(130);
    }
  }
  for (auto& run : runs) {
    run->thread.join();
    LogDownload(options, session, *run);
  }
}

// The table after a download into several devices: device, serial,
// outcome, bytes served, seconds; true when every device completed.
bool PrintSummary(const std::vector<std::unique_ptr<DeviceRun>>& runs) {
  bool allCompleted = true;
  std::printf("device\tserial\toutcome\tbytes\tseconds\n");
  for (const auto& run : runs) {
    const bool completed = run->result.outcome == DownloadOutcome::kCompleted;
    allCompleted = allCompleted && completed;
    std::printf("%s\t%s\t%s\t%llu\t%.1f\n", run->device.path.c_str(),
                run->device.serial.empty() ? "-" : run->device.serial.c_str(),
                texts::DownloadOutcomeShortText(run->result.outcome).c_str(),
                static_cast<unsigned long long>(run->owner->BytesServed()), run->seconds);
  }
  return allCompleted;
}

int RunOnSeveral(const Options& options, Session& session) {
  std::vector<DeviceInfo> devices = ListDevices();
  if (options.devicePath) {
    std::erase_if(devices, [&](const DeviceInfo& d) { return d.path != *options.devicePath; });
    // A path no longer (or never) listed is told as the link tells it.
    if (devices.empty()) devices.push_back({*options.devicePath, {}, {}, {}, OpenFailure::kNone});
  }
  if (devices.empty()) {
    return Report({std::string(texts::kConnectionFailed) + "\n" +
                       texts::OpenFailureText(OpenFailure::kNoDevice, {}),
                   1});
  }
  const bool liveBars = isatty(STDERR_FILENO) == 1;
  ProgressBoard board(devices.size());
  std::vector<std::unique_ptr<DeviceRun>> runs;
  for (size_t i = 0; i < devices.size(); ++i) {
    auto run = std::make_unique<DeviceRun>();
    run->device = devices[i];
    run->link = std::make_unique<HidLink>(devices[i].path);
    run->owner = std::make_unique<CliDownloadOwner>(session.Package().DataLength(), devices[i].path,
                                                    liveBars ? &board : nullptr, i);
    runs.push_back(std::move(run));
  }
  ServeAll(options, session, runs);
  board.Finish();
  return PrintSummary(runs) ? 0 : 1;
}

}  // namespace

int RunDownload(const Options& options, Session& session) {
  if (auto failure = PrepareImage(options, session)) return Report(*failure);
  session.BuildPackage();
  const DownloadPackage& package = session.Package();
  // The size label of the window.
  std::printf("%ld KB\n", (static_cast<long>(session.Image().imageSize) + 1023) / 1024);
  std::fflush(stdout);
  if (options.allDevices || options.devicePath) return RunOnSeveral(options, session);

  // The first device, as the library lists them.
  std::vector<std::unique_ptr<DeviceRun>> runs;
  auto run = std::make_unique<DeviceRun>();
  const std::vector<DeviceInfo> devices = ListDevices();
  if (!devices.empty()) run->device = devices.front();
  run->link = devices.empty() ? std::make_unique<HidLink>()
                              : std::make_unique<HidLink>(devices.front().path);
  run->owner = std::make_unique<CliDownloadOwner>(package.DataLength(),
                                                  isatty(STDERR_FILENO) == 1);
  runs.push_back(std::move(run));
  ServeAll(options, session, runs);
  return ReportOutcome(runs.front()->result, package, options.idleTimeoutSeconds);
}

}  // namespace tabrelium::cli
