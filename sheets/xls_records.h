// The record layer of a BIFF workbook stream (Excel 5, 95, 97 and later):
// each record is a 16-bit id, a 16-bit length and that many bytes. The
// walk is bounded by the stream: every step moves at least the 4 header
// bytes, and a record whose length runs past the stream's end stops it as
// damaged. Reading inside a record goes through ByteCursor, which never
// reads past the record.
//
// Thread-safety: plain values over caller-owned bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "common/byte_order.h"

namespace tabrelium {

// Record ids the reader knows.
namespace biff {
inline constexpr uint16_t kBof = 0x0809;
inline constexpr uint16_t kEof = 0x000A;
inline constexpr uint16_t kContinue = 0x003C;
inline constexpr uint16_t kCodePage = 0x0042;
inline constexpr uint16_t kDateMode = 0x0022;
inline constexpr uint16_t kFilePass = 0x002F;
inline constexpr uint16_t kFormat = 0x041E;
inline constexpr uint16_t kXf = 0x00E0;
inline constexpr uint16_t kSst = 0x00FC;
inline constexpr uint16_t kBoundSheet = 0x0085;
inline constexpr uint16_t kDimensions = 0x0200;
inline constexpr uint16_t kLabelSst = 0x00FD;
inline constexpr uint16_t kLabel = 0x0204;
inline constexpr uint16_t kRString = 0x00D6;
inline constexpr uint16_t kRk = 0x027E;
inline constexpr uint16_t kMulRk = 0x00BD;
inline constexpr uint16_t kNumber = 0x0203;
inline constexpr uint16_t kBoolErr = 0x0205;
inline constexpr uint16_t kFormula = 0x0006;
inline constexpr uint16_t kString = 0x0207;

// BOF versions and substream types.
inline constexpr uint16_t kBiff5 = 0x0500;
inline constexpr uint16_t kBiff8 = 0x0600;
inline constexpr uint16_t kGlobalsSubstream = 0x0005;
inline constexpr uint16_t kWorksheetSubstream = 0x0010;
}  // namespace biff

struct BiffRecord {
  uint16_t id = 0;
  std::span<const uint8_t> data;
};

class BiffRecordReader {
 public:
  BiffRecordReader(std::span<const uint8_t> stream, size_t offset)
      : stream_(stream), offset_(offset) {}

  // The next record; false at the end of the stream, or when a record's
  // header or bytes run past it (then damaged() is true).
  bool Next(BiffRecord& record) {
    if (offset_ >= stream_.size()) return false;
    if (stream_.size() - offset_ < 4) return Damage();
    const uint16_t id = GetLe16(&stream_[offset_]);
    const uint16_t length = GetLe16(&stream_[offset_ + 2]);
    if (stream_.size() - offset_ - 4 < length) return Damage();
    record.id = id;
    record.data = stream_.subspan(offset_ + 4, length);
    offset_ += 4 + size_t{length};
    return true;
  }

  // The id of the record Next would give, or 0 at the end.
  uint16_t PeekId() const {
    return stream_.size() - std::min(offset_, stream_.size()) >= 4 ? GetLe16(&stream_[offset_]) : 0;
  }

  bool damaged() const { return damaged_; }

 private:
  bool Damage() {
    damaged_ = true;
    offset_ = stream_.size();
    return false;
  }

  std::span<const uint8_t> stream_;
  size_t offset_;
  bool damaged_ = false;
};

// Little-endian fields of one record, read in order; a read past the
// record's end fails and leaves the value as it was.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t left() const { return bytes_.size() - at_; }
  bool Skip(size_t n) {
    if (left() < n) return false;
    at_ += n;
    return true;
  }
  bool U8(uint8_t& v) {
    if (left() < 1) return false;
    v = bytes_[at_++];
    return true;
  }
  bool U16(uint16_t& v) {
    if (left() < 2) return false;
    v = GetLe16(&bytes_[at_]);
    at_ += 2;
    return true;
  }
  bool U32(uint32_t& v) {
    if (left() < 4) return false;
    v = GetLe32(&bytes_[at_]);
    at_ += 4;
    return true;
  }
  bool F64(double& v) {
    if (left() < 8) return false;
    std::memcpy(&v, &bytes_[at_], 8);  // IEEE 754 little-endian, as x86 and ARM hold it
    at_ += 8;
    return true;
  }
  bool Bytes(size_t n, std::span<const uint8_t>& out) {
    if (left() < n) return false;
    out = bytes_.subspan(at_, n);
    at_ += n;
    return true;
  }
  std::span<const uint8_t> Rest() const { return bytes_.subspan(at_); }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

}  // namespace tabrelium
