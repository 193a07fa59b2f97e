// The end of a desktop session reaches the window as a signal: SIGTERM when
// the session or a service manager ends the program, SIGHUP when its
// terminal goes, SIGINT for Ctrl+C. A signal handler may do almost nothing,
// so it only writes a byte into a pipe; the UI thread's event loop reads it
// and says QuitRequested, where the window closes in order (and saves).
//
// One CQuitSignals at a time; it puts the handlers it found back when it
// goes.
//
// Thread-safety: UI thread only (the handler itself is async-signal-safe).
#pragma once

#include <QObject>
#include <array>
#include <csignal>

class QSocketNotifier;

namespace tabrelium {

class CQuitSignals : public QObject {
  Q_OBJECT

 public:
  explicit CQuitSignals(QObject* parent = nullptr);
  ~CQuitSignals() override;
  CQuitSignals(const CQuitSignals&) = delete;
  CQuitSignals& operator=(const CQuitSignals&) = delete;

  // False when the pipe or a handler could not be set up (signals then
  // end the program as before).
  bool IsWatching() const { return m_notifier != nullptr; }

 signals:
  // A quit signal came; `signalNumber` says which.
  void QuitRequested(int signalNumber);

 private:
  void OnSignalByte();

  std::array<int, 2> m_pipe{-1, -1};
  QSocketNotifier* m_notifier = nullptr;
  std::array<struct sigaction, 3> m_previous{};
  bool m_installed = false;
};

}  // namespace tabrelium
