// The texts the system shows its users, in UTF-8 for the front ends (the
// window and the terminal). Each is an English phrase followed by the same
// phrase in Chinese.
#pragma once

#include <string_view>

namespace tabrelium::messages {

inline constexpr std::string_view kInvalidDataFile = "Invalid data file(无效数据文件)";
inline constexpr std::string_view kConfigurationError = "Configuration error(请检查配置信息)";
inline constexpr std::string_view kImageTooLarge =
    "Generate data files larger than 16M(生成数据文件大于16M)";
inline constexpr std::string_view kSelectDataFileFirst =
    "Please select the data file first(请先选择数据文件)";

inline constexpr std::string_view kConnectionFailed = "Connection failed(连接失败)";
inline constexpr std::string_view kErrorCaption = "Error(错误)";
inline constexpr std::string_view kDownloadFailed = "Downdload failed(下载失败)";
inline constexpr std::string_view kStartDownload = "Startup download(启动下载)";
inline constexpr std::string_view kStopDownload = "Stop download(停止下载)";

}  // namespace tabrelium::messages
