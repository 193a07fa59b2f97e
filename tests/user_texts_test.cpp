// The users' texts where they are put together from facts: a load failure,
// the progress label, the time left.
#include "common/user_texts.h"

#include <gtest/gtest.h>

namespace tabrelium {
namespace {

TEST(UserTexts, ALoadFailureIsAnInvalidFileWithItsReasonOrTheErrorValueItself) {
  const std::string errorValue = texts::ErrorValueText("C4", "#N/A");
  EXPECT_EQ(errorValue, "Cell C4 holds the error value #N/A(单元格C4含有错误值#N/A)");
  EXPECT_EQ(texts::LoadFailureText(Status::ErrorValue(errorValue, {.row = 4, .column = 3})),
            errorValue);
  EXPECT_EQ(texts::LoadFailureText(Status::Failed("the first worksheet has only one row")),
            "Invalid data file(无效数据文件)\nthe first worksheet has only one row");
  EXPECT_EQ(texts::LoadFailureText(Status::Failed({})), "Invalid data file(无效数据文件)");
}

TEST(UserTexts, ProgressLabelAndTimeLeft) {
  EXPECT_EQ(texts::ProgressText(0), "0.0%");
  EXPECT_EQ(texts::ProgressText(333), "33.3%");
  EXPECT_EQ(texts::DeviceReportText(DownloadOutcome::kCompleted), "100%");
  EXPECT_EQ(texts::DeviceReportText(DownloadOutcome::kFailed), "Downdload failed(下载失败)");
  EXPECT_EQ(texts::TimeLeftText(125), "Time left(剩余时间): 2:05");
  EXPECT_EQ(texts::TimeLeftText(-3), "Time left(剩余时间): 0:00");
}

}  // namespace
}  // namespace tabrelium
