// How the engine and the spreadsheet readers say that something failed: a
// message for the user (UTF-8) and, where there is one, the place in the
// input it points to. A default Status is success and costs nothing. Failures
// are returned, never thrown; the front ends put them into words with
// common/user_texts.h.
//
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tabrelium {

// Where in an input a failure lies. Every part is optional.
struct InputPlace {
  std::string part{};   // a named part of the file, e.g. "xl/worksheets/sheet1.xml"
  uint32_t row = 0;     // 1-based row, record or line; 0 when none
  uint32_t column = 0;  // 1-based column; 0 when none
};

class Status {
 public:
  enum class Code : uint8_t {
    kOk,
    kFailed,      // the input cannot be read or used; the message says why
    kErrorValue,  // the input holds an error value (a worksheet's #N/A): the
                  // file is readable, its data is at fault
  };

  Status() = default;
  static Status Failed(std::string message, InputPlace place = {}) {
    return Status(Code::kFailed, std::move(message), std::move(place));
  }
  static Status ErrorValue(std::string message, InputPlace place) {
    return Status(Code::kErrorValue, std::move(message), std::move(place));
  }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  const std::string& message() const { return message_; }
  const InputPlace& place() const { return place_; }

 private:
  Status(Code code, std::string message, InputPlace place)
      : code_(code), message_(std::move(message)), place_(std::move(place)) {}

  Code code_ = Code::kOk;
  std::string message_;
  InputPlace place_;
};

}  // namespace tabrelium
