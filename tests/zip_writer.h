// Hand-made zip packages for the XLSX and OpenDocument readers' tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"

namespace tabrelium::testing {

// Writes a zip of `members` (name, bytes) with libzip as `name` in `dir`;
// returns its path.
std::string WriteZip(const TempDir& dir,
                     const std::vector<std::pair<std::string, std::string>>& members,
                     const std::string& name);

}  // namespace tabrelium::testing
