#include "tools/hidemu/emu_config.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace hidemu {
namespace {

// The device whose variables are read; -1 while none is (the count).
thread_local int t_index = -1;

const char* Get(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr || *value == '\0' ? nullptr : value;
}

// The raw value of `name` for the device being read (`name`_INDEX first),
// or nullopt when it is unset or empty.
std::optional<std::string_view> Variable(const char* name) {
  const char* value = nullptr;
  if (t_index >= 0) value = Get(std::string(name) + "_" + std::to_string(t_index));
  if (value == nullptr) value = Get(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

void Ignore(bool warn, const char* name, std::string_view value) {
  if (warn)
    std::fprintf(stderr, "hidemu: ignoring %s=%.*s (keeping the default)\n", name,
                 static_cast<int>(value.size()), value.data());
}

template <typename T>
std::optional<T> ParseNumber(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// The unsigned value of `name` within [0, max]; anything else is ignored.
std::optional<uint64_t> ReadUnsigned(bool warn, const char* name, uint64_t max) {
  auto text = Variable(name);
  if (!text) return std::nullopt;
  auto value = ParseNumber<uint64_t>(*text);
  if (!value || *value > max) {
    Ignore(warn, name, *text);
    return std::nullopt;
  }
  return value;
}

void ReadProbability(bool warn, const char* name, double& out) {
  auto text = Variable(name);
  if (!text) return;
  auto value = ParseNumber<double>(*text);
  if (!value || !(*value >= 0.0 && *value <= 1.0)) return Ignore(warn, name, *text);
  out = *value;
}

}  // namespace

int ReadEmuDeviceCount(bool warn) {
  t_index = -1;
  auto count = ReadUnsigned(warn, "TABRELIUM_EMU_COUNT", kMaxDevices);
  return count && *count >= 1 ? static_cast<int>(*count) : 1;
}

EmuConfig ReadEmuConfig(bool warn, int index) {
  EmuConfig config;
  t_index = index;

  if (auto text = Variable("TABRELIUM_EMU_PRESENT")) {
    if (*text == "0")
      config.present = false;
    else if (*text != "1")
      Ignore(warn, "TABRELIUM_EMU_PRESENT", *text);
  }
  if (auto text = Variable("TABRELIUM_EMU_ACCESS")) {
    if (*text == "denied")
      config.access = Access::kDenied;
    else if (*text == "busy")
      config.access = Access::kBusy;
    else if (*text != "allowed")
      Ignore(warn, "TABRELIUM_EMU_ACCESS", *text);
  }

  if (auto v = ReadUnsigned(warn, "TABRELIUM_EMU_CAPACITY", UINT32_MAX))
    config.capacity = static_cast<uint32_t>(*v);
  ReadProbability(warn, "TABRELIUM_EMU_LOSS", config.loss);
  ReadProbability(warn, "TABRELIUM_EMU_CORRUPT", config.corrupt);
  config.seed = ReadUnsigned(warn, "TABRELIUM_EMU_SEED", UINT64_MAX);
  // One second per frame is already far slower than any real bus.
  if (auto v = ReadUnsigned(warn, "TABRELIUM_EMU_FRAME_US", 1'000'000))
    config.frameTime = std::chrono::microseconds(*v);
  if (auto v = ReadUnsigned(warn, "TABRELIUM_EMU_STALL_MS", 60'000))
    config.stall = std::chrono::milliseconds(*v);
  if (auto text = Variable("TABRELIUM_EMU_MUTE")) {
    if (*text == "1")
      config.mute = true;
    else if (*text != "0")
      Ignore(warn, "TABRELIUM_EMU_MUTE", *text);
  }
  if (auto v = ReadUnsigned(warn, "TABRELIUM_EMU_PAUSE_MS", 600'000))
    config.pauseBeforeEnd = std::chrono::milliseconds(*v);
  if (auto text = Variable("TABRELIUM_EMU_LOSE_ENDING")) {
    if (*text == "1")
      config.loseEnding = true;
    else if (*text != "0")
      Ignore(warn, "TABRELIUM_EMU_LOSE_ENDING", *text);
  }
  if (auto text = Variable("TABRELIUM_EMU_OUT")) {
    config.outPath = std::string(*text);
    // Several devices never write over each other's table.
    if (ReadEmuDeviceCount(false) > 1 && !Get("TABRELIUM_EMU_OUT_" + std::to_string(index)))
      config.outPath += std::to_string(index);
    t_index = index;
  }
  if (auto v = ReadUnsigned(warn, "TABRELIUM_EMU_UNPLUG_AT_BLOCK", UINT32_MAX))
    config.unplugAtBlock = static_cast<uint32_t>(*v);
  return config;
}

}  // namespace hidemu
