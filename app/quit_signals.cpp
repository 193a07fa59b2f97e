#include "app/quit_signals.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace tabrelium {
namespace {

constexpr std::array<int, 3> kQuitSignals = {SIGTERM, SIGHUP, SIGINT};

// The write end, for the handler; -1 while no CQuitSignals watches.
volatile sig_atomic_t g_signalPipe = -1;

extern "C" void WriteSignalByte(int signalNumber) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signalNumber);
  // A full pipe already holds a quit request: losing this byte loses nothing.
  if (g_signalPipe >= 0) (void)!::write(g_signalPipe, &byte, 1);
  errno = savedErrno;
}

}  // namespace

CQuitSignals::CQuitSignals(QObject* parent) : QObject(parent) {
  if (g_signalPipe >= 0) return;  // another one watches already
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_pipe.data()) != 0) {
    m_pipe = {-1, -1};
    return;
  }
  g_signalPipe = m_pipe[0];
  struct sigaction action {};
  action.sa_handler = &WriteSignalByte;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < kQuitSignals.size(); ++i)
    ::sigaction(kQuitSignals[i], &action, &m_previous[i]);
  m_installed = true;
  m_notifier = new QSocketNotifier(m_pipe[1], QSocketNotifier::Read, this);
  connect(m_notifier, &QSocketNotifier::activated, this, &CQuitSignals::OnSignalByte);
}

CQuitSignals::~CQuitSignals() {
  if (m_installed) {
    for (size_t i = 0; i < kQuitSignals.size(); ++i)
      ::sigaction(kQuitSignals[i], &m_previous[i], nullptr);
    g_signalPipe = -1;
  }
  delete m_notifier;
  for (int fd : m_pipe)
    if (fd >= 0) ::close(fd);
}

void CQuitSignals::OnSignalByte() {
  unsigned char byte = 0;
  while (::read(m_pipe[1], &byte, 1) == 1) emit QuitRequested(byte);
}

}  // namespace tabrelium
