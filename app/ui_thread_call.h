// Running work on the UI thread from another thread: the download thread's
// callbacks change the dialog's controls, which only the UI thread may
// touch. CallAndWait blocks the calling thread until the UI thread has run
// the work, as a window call from a worker does on Windows; Post does not
// wait.
//
// The UI thread is woken through an eventfd and a socket notifier, and the
// work is handed over under a std::mutex, so no memory passes between the
// threads through Qt's internal (uninstrumented) locks: ThreadSanitizer sees
// every hand-off.
//
// Thread-safety: construct and destroy on the UI thread; CallAndWait and
// Post from any other thread. Work still queued at destruction is dropped:
// the owner stops its workers before destroying this. CallAndWait from the UI thread itself runs the
// work at once. The UI thread must keep processing events while a worker
// may be waiting (it never blocks on the worker without an event loop).
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class QSocketNotifier;

namespace tabrelium {

class CUiThreadCall : public QObject {
  Q_OBJECT

 public:
  explicit CUiThreadCall(QObject* parent = nullptr);
  ~CUiThreadCall() override;

  void CallAndWait(std::function<void()> work);
  void Post(std::function<void()> work);

 private:
  struct Job {
    std::function<void()> work;
    bool* done = nullptr;  // set under m_mutex when the work has run
  };

  void Wake();
  void RunPending();

  std::thread::id m_uiThread;
  int m_wakeFd = -1;
  QSocketNotifier* m_notifier = nullptr;
  std::mutex m_mutex;
  std::condition_variable m_ran;
  std::deque<Job> m_jobs;
};

}  // namespace tabrelium
