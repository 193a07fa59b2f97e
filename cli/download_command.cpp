#include "cli/download_command.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include "cli/commands.h"
#include "cli/download_progress.h"
#include "common/user_texts.h"
#include "device/download_thread.h"
#include "device/hid_link.h"

namespace tabrelium::cli {
namespace {

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

}  // namespace

int RunDownload(const Options& options, Session& session) {
  if (auto failure = PrepareImage(options, session)) return Report(*failure);
  session.BuildPackage();
  const DownloadPackage& package = session.Package();
  // The size label of the window.
  std::printf("%ld KB\n", (static_cast<long>(session.Image().imageSize) + 1023) / 1024);
  std::fflush(stdout);

  CliDownloadOwner owner(package.DataLength(), isatty(STDERR_FILENO) == 1);
  // A script must not wait for ever on a device that has gone quiet.
  owner.m_silenceLimit = std::chrono::seconds(std::min<int64_t>(options.idleTimeoutSeconds, 1e9));
  HidLink link;
  InterruptWatch interrupts;  // before the threads start, so they inherit the mask
  DownloadResult result;
  std::atomic<bool> finished = false;
  std::thread download([&] {
    result = DownloadThread(owner, link, package);
    finished = true;
  });
  int interruptCount = 0;
  while (!finished) {
    if (!interrupts.Wait()) continue;
    if (++interruptCount == 1) {
      std::fprintf(stderr, "\ntabrelium-cli: stopping the download (Ctrl+C again to quit at once)\n");
      owner.RequestStop();
    } else {
      std::_Exit(130);
    }
  }
  download.join();
  return ReportOutcome(result, package, options.idleTimeoutSeconds);
}

}  // namespace tabrelium::cli
