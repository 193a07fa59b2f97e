// The window's edge between the engine's GBK bytes and Qt's Unicode texts.
//
// Thread-safety: plain functions, callable from any thread.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "common/gbk_utf8.h"

namespace tabrelium {

inline QString FromGbk(std::string_view gbk) {
  return QString::fromStdString(GbkToUtf8(gbk));
}

// Characters without a GBK form become '?', as they would on the device.
inline std::string ToGbk(const QString& text) {
  return Utf8ToGbk(text.toStdString());
}

inline QString FromUtf8(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace tabrelium
