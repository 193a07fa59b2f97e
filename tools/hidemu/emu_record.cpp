#include "tools/hidemu/emu_record.h"

#include <algorithm>
#include <memory>

namespace hidemu {
namespace {

bool IsEnd(hidemu_state state) {
  return state == HIDEMU_COMPLETED || state == HIDEMU_CRC_FAILED || state == HIDEMU_REFUSED ||
         state == HIDEMU_UNPLUGGED;
}

}  // namespace

void EmuRecord::SetState(hidemu_state state) {
  {
    std::lock_guard lock(mutex_);
    state_ = state;
  }
  stateChanged_.notify_all();
}

hidemu_state EmuRecord::State() const {
  std::lock_guard lock(mutex_);
  return state_;
}

hidemu_state EmuRecord::WaitForEnd(std::chrono::milliseconds timeout, bool forever) {
  std::unique_lock lock(mutex_);
  auto ended = [&] { return IsEnd(state_); };
  if (forever)
    stateChanged_.wait(lock, ended);
  else
    stateChanged_.wait_for(lock, timeout, ended);
  return state_;
}

void EmuRecord::StoreReceived(std::span<const uint8_t> data) {
  std::lock_guard lock(mutex_);
  received_.assign(data.begin(), data.end());
}

size_t EmuRecord::CopyReceived(std::span<uint8_t> buffer) const {
  std::lock_guard lock(mutex_);
  std::copy_n(received_.begin(), std::min(buffer.size(), received_.size()), buffer.begin());
  return received_.size();
}

void EmuRecord::AddAnswerLatency(std::chrono::steady_clock::duration latency) {
  std::lock_guard lock(mutex_);
  answerLatencies_.push_back(static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(latency).count()));
}

size_t EmuRecord::CopyAnswerLatencies(std::span<uint64_t> nanoseconds) const {
  std::lock_guard lock(mutex_);
  std::copy_n(answerLatencies_.begin(), std::min(nanoseconds.size(), answerLatencies_.size()),
              nanoseconds.begin());
  return answerLatencies_.size();
}

void EmuRecord::Reset() {
  for (auto* counter : {&counters.opens, &counters.closes, &counters.framesFromHost,
                        &counters.framesToHost, &counters.framesLost, &counters.framesCorrupted,
                        &counters.framesRejected, &counters.headerRequests, &counters.blockRequests,
                        &counters.blockRepeats, &counters.blockCrcFailures, &counters.outOfSequence,
                        &counters.blocksDone})
    counter->store(0);
  counters.dataLength.store(0);
  for (auto& gone : unplugged) gone = false;
  std::lock_guard lock(mutex_);
  state_ = HIDEMU_IDLE;
  received_.clear();
  answerLatencies_.clear();
}

EmuRecord& Record() {
  // Deliberately never freed: static destruction at exit must not pull it
  // from under a device thread the host left running.
  static EmuRecord* const record = std::make_unique<EmuRecord>().release();
  return *record;
}

}  // namespace hidemu

extern "C" {

void hidemu_get_stats(struct hidemu_stats* stats) {
  if (stats == nullptr) return;
  const hidemu::Counters& c = hidemu::Record().counters;
  *stats = {};
  stats->opens = c.opens.load();
  stats->closes = c.closes.load();
  stats->frames_from_host = c.framesFromHost.load();
  stats->frames_to_host = c.framesToHost.load();
  stats->frames_lost = c.framesLost.load();
  stats->frames_corrupted = c.framesCorrupted.load();
  stats->frames_rejected = c.framesRejected.load();
  stats->header_requests = c.headerRequests.load();
  stats->block_requests = c.blockRequests.load();
  stats->block_repeats = c.blockRepeats.load();
  stats->block_crc_failures = c.blockCrcFailures.load();
  stats->out_of_sequence = c.outOfSequence.load();
  stats->blocks_done = c.blocksDone.load();
  stats->data_length = c.dataLength.load();
  stats->state = hidemu::Record().State();
}

enum hidemu_state hidemu_wait_for_end(int timeout_ms) {
  return hidemu::Record().WaitForEnd(std::chrono::milliseconds(std::max(timeout_ms, 0)),
                                     timeout_ms < 0);
}

size_t hidemu_received_data(unsigned char* buffer, size_t capacity) {
  if (buffer == nullptr) capacity = 0;
  return hidemu::Record().CopyReceived(std::span<uint8_t>(buffer, capacity));
}

size_t hidemu_answer_latencies_ns(unsigned long long* nanoseconds, size_t capacity) {
  static_assert(sizeof(unsigned long long) == sizeof(uint64_t));
  if (nanoseconds == nullptr) capacity = 0;
  return hidemu::Record().CopyAnswerLatencies(
      std::span(reinterpret_cast<uint64_t*>(nanoseconds), capacity));
}

void hidemu_reset(void) { hidemu::Record().Reset(); }

}  // extern "C"
