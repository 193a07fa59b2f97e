// The table image: what the device stores, a dBASE III-style table of the
// configured fields (header, one descriptor per field, 0x0D, fixed-width
// space-padded records sorted by the first field, no 0x1A). The layout is
// described in docs/table-image.md.
//
// Thread-safety: plain functions on caller-owned values.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/bulk_allocator.h"

#include "config/field_table.h"
#include "data/cell_table.h"

namespace tabrelium {

// Records are appended only while they end below this offset.
inline constexpr int64_t kMaxImageBytes = 67108864;
// The largest image a download accepts.
inline constexpr int64_t kMaxDownloadBytes = 16777216;

struct TableImage {
  BulkVector<uint8_t> bytes;  // exactly imageSize bytes
  int32_t imageSize = 0;
  // Rows with text that did not fit below 64 MiB and were dropped.
  int64_t droppedRows = 0;
};

// Little-endian header accessors.
uint32_t GetRecordCount(std::span<const uint8_t> image);
uint16_t GetHeaderLength(std::span<const uint8_t> image);
uint16_t GetRecordLength(std::span<const uint8_t> image);

// Builds the image of the first fieldCount fields over every row of `cells`.
// Rows whose configured cells are all empty are dropped; records with equal
// keys keep row order. The date bytes come from `buildDate` when given, else
// from the local time now. Reuses the block of `image.bytes` when it is
// large enough.
// REQUIRES: IsFieldConfigValid(table, cells.columnCount).
void BuildTableImage(const CellTable& cells, const FieldTable& table, TableImage& image,
                     std::optional<std::tm> buildDate = std::nullopt);

}  // namespace tabrelium
