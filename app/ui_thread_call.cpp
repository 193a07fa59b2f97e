#include "app/ui_thread_call.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>

namespace tabrelium {

CUiThreadCall::CUiThreadCall(QObject* parent)
    : QObject(parent), m_uiThread(std::this_thread::get_id()) {
  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wakeFd >= 0) {
    m_notifier = new QSocketNotifier(m_wakeFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CUiThreadCall::RunPending);
  }
}

CUiThreadCall::~CUiThreadCall() {
  if (m_notifier != nullptr) m_notifier->setEnabled(false);
  // Work still queued is dropped, since what it would touch is going away;
  // a worker still waiting is released rather than left hanging.
  {
    std::lock_guard lock(m_mutex);
    for (Job& job : m_jobs)
      if (job.done != nullptr) *job.done = true;
    m_jobs.clear();
  }
  m_ran.notify_all();
  if (m_wakeFd >= 0) close(m_wakeFd);
}

void CUiThreadCall::CallAndWait(std::function<void()> work) {
  if (std::this_thread::get_id() == m_uiThread) {
    work();
    return;
  }
  bool done = false;
  std::unique_lock lock(m_mutex);
  m_jobs.push_back(Job{std::move(work), &done});
  lock.unlock();
  Wake();
  lock.lock();
  m_ran.wait(lock, [&] { return done; });
}

void CUiThreadCall::Post(std::function<void()> work) {
  {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(Job{std::move(work), nullptr});
  }
  Wake();
}

void CUiThreadCall::Wake() {
  const uint64_t one = 1;
  // A full counter (never in practice) still leaves the fd readable.
  while (write(m_wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void CUiThreadCall::RunPending() {
  uint64_t count = 0;
  while (read(m_wakeFd, &count, sizeof count) < 0 && errno == EINTR) {
  }
  for (;;) {
    Job job;
    {
      std::lock_guard lock(m_mutex);
      if (m_jobs.empty()) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job.work();
    if (job.done != nullptr) {
      std::lock_guard lock(m_mutex);
      *job.done = true;
      m_ran.notify_all();
    }
  }
}

}  // namespace tabrelium
