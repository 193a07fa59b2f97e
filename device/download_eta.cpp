#include "device/download_eta.h"

#include <algorithm>

namespace tabrelium {

void DownloadEta::Start() {
  std::lock_guard lock(m_mutex);
  m_started = false;
  m_blockCount = 0;
  m_firstBlock = m_lastBlock = 0;
}

void DownloadEta::Update(uint32_t block, uint32_t blockCount, Clock::time_point now) {
  std::lock_guard lock(m_mutex);
  if (!m_started) {
    m_started = true;
    m_firstAt = now;
    m_firstBlock = block;
  }
  // A repeated request (a lost frame) does not move the download forward.
  if (block >= m_lastBlock || m_blockCount != blockCount) {
    m_lastBlock = block;
    m_lastAt = now;
  }
  m_blockCount = blockCount;
}

int64_t DownloadEta::SecondsLeft() const {
  std::lock_guard lock(m_mutex);
  if (!m_started || m_lastBlock <= m_firstBlock || m_blockCount == 0) return -1;
  const double elapsed = std::chrono::duration<double>(m_lastAt - m_firstAt).count();
  if (elapsed < 1.0) return -1;
  const double perBlock = elapsed / (m_lastBlock - m_firstBlock);
  const uint32_t left = m_blockCount - std::min(m_blockCount, m_lastBlock + 1);
  return static_cast<int64_t>(perBlock * left + 0.5);
}

int DownloadEta::PerMille() const {
  std::lock_guard lock(m_mutex);
  if (!m_started || m_blockCount == 0) return 0;
  return static_cast<int>(uint64_t{std::min(m_lastBlock + 1, m_blockCount)} * 1000 / m_blockCount);
}

}  // namespace tabrelium
