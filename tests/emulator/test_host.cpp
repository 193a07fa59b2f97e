#include "tests/emulator/test_host.h"

#include <algorithm>
#include <map>

namespace hidemu_test {

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint8_t Checksum(const Frame& frame) {
  unsigned sum = frame[1];
  for (size_t i = 3; i < frame.size(); ++i) sum += frame[i];
  return static_cast<uint8_t>(sum);
}

}  // namespace

Frame MakeHostFrame(uint8_t command, std::span<const uint8_t> payload) {
  Frame frame{};
  frame[0] = 0xAA;
  frame[1] = command;
  std::copy(payload.begin(), payload.end(), frame.begin() + 3);
  frame[2] = Checksum(frame);
  return frame;
}

bool IsSound(const Frame& frame) { return frame[0] == 0xAA && frame[2] == Checksum(frame); }

uint16_t Crc16(std::span<const uint8_t> data) {
  uint16_t crc = 0;
  for (uint8_t byte : data) {
    crc ^= static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint32_t PackageCrc(std::span<const uint8_t> data) {
  uint32_t reg = 0xEDB88320;
  for (uint8_t byte : data)
    for (int bit = 0; bit < 8; ++bit, byte >>= 1)
      reg = ((reg ^ byte) & 1) ? (reg >> 1) ^ 0x4C11DB70 : reg >> 1;
  return reg;
}

int WriteFrame(hid_device* dev, const Frame& frame) {
  std::array<uint8_t, 65> report{};
  std::copy(frame.begin(), frame.end(), report.begin() + 1);
  return hid_write(dev, report.data(), report.size());
}

std::vector<Heard> HostLog::Requests(uint8_t command) const {
  std::vector<Heard> found;
  for (const Heard& h : heard)
    if (h.frame[1] == command) found.push_back(h);
  return found;
}

std::vector<Heard> HostLog::BlockRequests(uint32_t block) const {
  std::vector<Heard> found;
  for (const Heard& h : Requests(kBlock))
    if (Le32(&h.frame[3]) == block) found.push_back(h);
  return found;
}

namespace {

void AnswerBlock(hid_device* dev, const HostScript& script, const Frame& request, int ask) {
  const auto& data = script.data;
  const uint32_t block = Le32(&request[3]);
  const size_t offset = size_t{block} * kBlockBytes;
  if (offset >= data.size()) return;
  const size_t length = std::min<size_t>(kBlockBytes, data.size() - offset);
  std::vector<uint8_t> withCrc(data.begin() + offset, data.begin() + offset + length);
  const uint16_t crc = Crc16(withCrc);
  withCrc.push_back(static_cast<uint8_t>(crc));
  withCrc.push_back(static_cast<uint8_t>(crc >> 8));

  const uint32_t count = std::min<uint32_t>(request[7], 56);
  for (uint32_t i = 0; i < count; ++i) {
    if (request[8 + i] != i) continue;
    if (script.sendSlice && !script.sendSlice(block, i, ask)) continue;
    std::array<uint8_t, 61> payload{};
    PutLe32(payload.data(), block);
    payload[4] = static_cast<uint8_t>(i);
    const size_t start = size_t{i} * kSliceBytes;
    const size_t bytes =
        start < withCrc.size() ? std::min<size_t>(kSliceBytes, withCrc.size() - start) : 0;
    payload[5] = static_cast<uint8_t>(bytes);
    std::copy_n(withCrc.begin() + start, bytes, payload.begin() + 6);
    Frame frame = MakeHostFrame(kBlock, payload);
    if (script.spoilSlice) {
      script.spoilSlice(block, ask, frame);
      frame[2] = Checksum(frame);
    }
    WriteFrame(dev, frame);
  }
}

}  // namespace

HostLog Serve(hid_device* dev, const HostScript& script, std::chrono::milliseconds limit) {
  HostLog log;
  std::map<uint32_t, int> blockAsks;
  int headerAsks = 0;
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    std::array<uint8_t, 65> buffer{};
    const int got = hid_read_timeout(dev, buffer.data(), buffer.size(), 20);
    if (got < 0) {
      ++log.readFailure;
      break;
    }
    if (got == 0) continue;
    Frame frame;
    std::copy_n(buffer.begin(), frame.size(), frame.begin());
    if (!IsSound(frame)) {
      ++log.unsound;
      continue;
    }
    log.heard.push_back({frame, Clock::now(), {}});
    switch (frame[1]) {
      case kHeader: {
        if (script.answerHeader && !script.answerHeader(headerAsks++)) break;
        std::array<uint8_t, 8> payload{};
        PutLe32(payload.data(), static_cast<uint32_t>(script.data.size()));
        PutLe32(payload.data() + 4, script.crc.value_or(PackageCrc(script.data)));
        WriteFrame(dev, MakeHostFrame(kHeader, payload));
        break;
      }
      case kBlock: {
        const uint32_t block = Le32(&frame[3]);
        const int ask = blockAsks[block]++;
        if (script.refuseBlock && script.refuseBlock(block, ask)) {
          WriteFrame(dev, MakeHostFrame(kOutOfSequence, {}));
        } else if (!script.answerBlock || script.answerBlock(block, ask)) {
          AnswerBlock(dev, script, frame, ask);
        }
        break;
      }
      case kFailed:
      case kComplete:
        log.terminal = frame[1];
        return log;
    }
    log.heard.back().answeredAt = Clock::now();
  }
  return log;
}

}  // namespace hidemu_test
