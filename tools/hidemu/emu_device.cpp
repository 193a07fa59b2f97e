#include "tools/hidemu/emu_device.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdio>
#include <fstream>

#include "common/byte_order.h"
#include "device/device_frame.h"
#include "device/download_package.h"

namespace hidemu {

using tabrelium::BLOCK_SIZE;
using tabrelium::SLICE_SIZE;

namespace {

// Where a slice of block `block` came from, as far as this request goes.
enum class SliceFit { kOtherBlock, kDamaged, kFits };

// Checks a host CMD_BLOCK frame against the block being received: its
// echoed index, a slice index that exists, and the byte count that slice
// must have.
SliceFit FitSlice(const Frame& frame, uint32_t block, uint32_t sliceCount, uint32_t withCrc) {
  if (tabrelium::GetLe32(&frame[3]) != block) return SliceFit::kOtherBlock;
  const uint32_t slice = frame[7];
  if (slice >= sliceCount) return SliceFit::kOtherBlock;
  const uint32_t expected = std::min(SLICE_SIZE, withCrc - slice * SLICE_SIZE);
  return frame[8] == expected ? SliceFit::kFits : SliceFit::kDamaged;
}

}  // namespace

EmuDevice::EmuDevice(const DeviceSettings& settings, EmuBus& bus, EmuRecord& record)
    : settings_(settings), bus_(bus), record_(record), reactAt_(Clock::now()) {}

void EmuDevice::Run() {
  if (settings_.mute) {
    while (bus_.DeviceReceive(Clock::now() + std::chrono::hours(1)).kind != Delivery::Kind::kGone) {
    }
    return;
  }
  for (;;) {
    record_.SetState(HIDEMU_ASKING_HEADER);
    if (!AskHeader()) return;
    if (dataLength_ > settings_.capacity) {
      record_.SetState(HIDEMU_REFUSED);
      SendTerminal(tabrelium::CMD_FAILED);
      return;
    }
    record_.counters.dataLength = dataLength_;
    data_.assign(dataLength_, 0);
    record_.SetState(HIDEMU_RECEIVING);
    switch (ReceiveAllBlocks()) {
      case Outcome::kGone:
        return;
      case Outcome::kStartOver:
        continue;
      case Outcome::kWhole:
        Finish();
        return;
    }
  }
}

bool EmuDevice::AskHeader() {
  std::array<uint8_t, 4> capacity;
  tabrelium::PutLe32(capacity.data(), settings_.capacity);
  const Frame request = tabrelium::MakeFrame(tabrelium::CMD_HEADER, capacity);
  for (;;) {
    ++record_.counters.headerRequests;
    const auto deadline = bus_.DeviceSend(request, reactAt_) + kHeaderRetry;
    for (;;) {
      const Delivery heard = bus_.DeviceReceive(deadline);
      if (heard.kind == Delivery::Kind::kGone) return false;
      if (heard.kind == Delivery::Kind::kTimeout) {
        reactAt_ = Clock::now();
        break;
      }
      if (!tabrelium::IsValidFrame(heard.frame)) {
        ++record_.counters.framesRejected;
        continue;
      }
      // Late slices or refusals from an earlier exchange answer nothing asked now.
      if (heard.frame[1] != tabrelium::CMD_HEADER) continue;
      dataLength_ = tabrelium::GetLe32(&heard.frame[3]);
      packageCrc_ = tabrelium::GetLe32(&heard.frame[7]);
      reactAt_ = heard.at;
      return true;
    }
  }
}

EmuDevice::Outcome EmuDevice::ReceiveAllBlocks() {
  const uint32_t blockCount = tabrelium::BlockCount(dataLength_);
  for (uint32_t block = 0; block < blockCount; ++block) {
    if (settings_.unplugAtBlock == block) {
      if (settings_.unplugged) *settings_.unplugged = true;
      bus_.Unplug();
      record_.SetState(HIDEMU_UNPLUGGED);
      return Outcome::kGone;
    }
    const Outcome outcome = ReceiveBlock(block);
    if (outcome != Outcome::kWhole) return outcome;
  }
  return Outcome::kWhole;
}

EmuDevice::Outcome EmuDevice::ReceiveBlock(uint32_t block) {
  const uint32_t offset = block * BLOCK_SIZE;
  const uint32_t length = std::min(BLOCK_SIZE, dataLength_ - offset);
  const uint32_t withCrc = length + 2;
  const uint32_t sliceCount = (withCrc + SLICE_SIZE - 1) / SLICE_SIZE;
  const auto answerTimeout = kAnswerTimeout + settings_.stall;

  std::array<uint8_t, tabrelium::kMaxBlockWithCrc> buffer{};
  std::bitset<tabrelium::kSlicesPerBlock> have;
  int refusals = 0;
  bool askedBefore = false;
  for (;;) {
    std::array<uint8_t, tabrelium::kPayloadBytes> ask{};
    tabrelium::PutLe32(ask.data(), block);
    ask[4] = static_cast<uint8_t>(sliceCount);
    uint32_t lastWanted = 0;
    for (uint32_t i = 0; i < sliceCount; ++i) {
      ask[5 + i] = have[i] ? 0xFF : static_cast<uint8_t>(i);
      if (!have[i]) lastWanted = i;
    }
    ++record_.counters.blockRequests;
    if (askedBefore) ++record_.counters.blockRepeats;
    askedBefore = true;
    auto deadline = bus_.DeviceSend(tabrelium::MakeFrame(tabrelium::CMD_BLOCK, ask), reactAt_) +
                    answerTimeout;

    // Listen until the answer to this request is over, then ask again for
    // whatever is still missing.
    for (;;) {
      const Delivery heard = bus_.DeviceReceive(deadline);
      if (heard.kind == Delivery::Kind::kGone) return Outcome::kGone;
      if (heard.kind == Delivery::Kind::kTimeout) {
        reactAt_ = Clock::now();
        break;
      }
      const Frame& frame = heard.frame;
      if (!tabrelium::IsValidFrame(frame)) {
        ++record_.counters.framesRejected;
        continue;
      }
      if (frame[1] == tabrelium::CMD_OUT_OF_SEQUENCE) {
        ++record_.counters.outOfSequence;
        reactAt_ = heard.at;
        if (++refusals >= kMaxRefusals) return Outcome::kStartOver;
        break;
      }
      if (frame[1] != tabrelium::CMD_BLOCK) continue;
      const SliceFit fit = FitSlice(frame, block, sliceCount, withCrc);
      if (fit == SliceFit::kOtherBlock) continue;
      if (fit == SliceFit::kDamaged) {
        ++record_.counters.framesRejected;
        continue;
      }

      const uint32_t slice = frame[7];
      if (!have[slice]) {
        std::copy_n(&frame[9], frame[8], buffer.begin() + slice * SLICE_SIZE);
        have.set(slice);
      }
      refusals = 0;
      reactAt_ = heard.at;
      deadline = heard.at + answerTimeout;
      if (have.count() == sliceCount) {
        const uint16_t sent = static_cast<uint16_t>(buffer[length] | buffer[length + 1] << 8);
        if (tabrelium::Crc16Xmodem(std::span(buffer.data(), length)) == sent) {
          std::copy_n(buffer.begin(), length, data_.begin() + offset);
          ++record_.counters.blocksDone;
          return Outcome::kWhole;
        }
        // Some slice was wrong although its frame was sound: the whole block again.
        ++record_.counters.blockCrcFailures;
        have.reset();
        break;
      }
      // The host answers in increasing slice order, so nothing more is coming.
      // (A higher slice is a late part of an earlier answer.)
      if (slice == lastWanted) break;
    }
  }
}

void EmuDevice::Finish() {
  if (tabrelium::PackageCrc32(data_) != packageCrc_) {
    record_.SetState(HIDEMU_CRC_FAILED);
    SendTerminal(tabrelium::CMD_FAILED);
    return;
  }
  WriteOut();
  record_.StoreReceived(data_);
  record_.SetState(HIDEMU_COMPLETED);
  SendTerminal(tabrelium::CMD_COMPLETE);
}

// Hears and leaves unanswered whatever the host sends until `until`; false
// once the host has closed the device.
bool EmuDevice::ListenUntil(Clock::time_point until) {
  for (;;) {
    const Delivery heard = bus_.DeviceReceive(until);
    if (heard.kind == Delivery::Kind::kGone) return false;
    if (heard.kind == Delivery::Kind::kTimeout) return true;
  }
}

void EmuDevice::SendTerminal(uint8_t command) {
  if (settings_.pauseBeforeEnd.count() > 0) {
    reactAt_ = std::max(reactAt_, Clock::now()) + settings_.pauseBeforeEnd;
    if (!ListenUntil(reactAt_)) return;
  }
  // The closing frames all lost on the way: the host hears nothing more.
  if (settings_.loseEnding) {
    ListenUntil(Clock::now() + std::chrono::hours(1000));
    return;
  }
  const Frame frame = tabrelium::MakeFrame(command, {});
  for (int i = 0; i < kTerminalRepeats; ++i) {
    const auto arrival = bus_.DeviceSend(frame, reactAt_);
    reactAt_ = arrival + kTerminalSpacing;
    // Whatever the host still sends is heard and left unanswered.
    for (;;) {
      const Delivery heard = bus_.DeviceReceive(reactAt_);
      if (heard.kind == Delivery::Kind::kGone) return;
      if (heard.kind == Delivery::Kind::kTimeout) break;
    }
  }
}

void EmuDevice::WriteOut() const {
  if (settings_.outPath.empty()) return;
  std::ofstream out(settings_.outPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data_.data()),
            static_cast<std::streamsize>(data_.size()));
  out.close();
  if (!out)
    std::fprintf(stderr, "hidemu: could not write the received data to %s\n",
                 settings_.outPath.c_str());
}

}  // namespace hidemu
