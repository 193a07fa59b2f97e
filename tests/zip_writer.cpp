#include "tests/zip_writer.h"

#include <gtest/gtest.h>
#include <zip.h>

namespace tabrelium::testing {

std::string WriteZip(const TempDir& dir,
                     const std::vector<std::pair<std::string, std::string>>& members,
                     const std::string& name) {
  const std::string path = (dir.path() / name).string();
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  EXPECT_NE(archive, nullptr);
  for (const auto& [member, bytes] : members) {
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    EXPECT_GE(zip_file_add(archive, member.c_str(), source, ZIP_FL_OVERWRITE), 0);
  }
  EXPECT_EQ(zip_close(archive), 0);
  return path;
}

}  // namespace tabrelium::testing
