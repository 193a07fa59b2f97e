// The protocol frame: layout, checksum, validity; the block CRC-16 and the
// little-endian fields.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "common/byte_order.h"
#include "device/device_frame.h"

namespace tabrelium {
namespace {

std::vector<uint8_t> Ascii(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Crc16Xmodem, CheckValueAndEdges) {
  EXPECT_EQ(Crc16Xmodem(Ascii("123456789")), 0x31C3);
  EXPECT_EQ(Crc16Xmodem({}), 0x0000);  // start 0, no final XOR
  EXPECT_EQ(Crc16Xmodem(Ascii("A")), 0x58E5);
  const std::vector<uint8_t> zeros(1758, 0);
  EXPECT_EQ(Crc16Xmodem(zeros), 0x0000);
}

TEST(Crc16Xmodem, MatchesTheBitwiseDefinition) {
  std::vector<uint8_t> data(1758);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + 7);
  uint16_t reg = 0;
  for (uint8_t byte : data) {
    reg ^= static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      reg = static_cast<uint16_t>(reg & 0x8000 ? (reg << 1) ^ 0x1021 : reg << 1);
  }
  EXPECT_EQ(Crc16Xmodem(data), reg);
}

TEST(DeviceFrame, LayoutAndChecksum) {
  const std::vector<uint8_t> payload = {0x10, 0x20, 0xF0};
  const DeviceFrame frame = MakeFrame(CMD_HEADER, payload);
  EXPECT_EQ(frame[0], FRAME_SYNC);
  EXPECT_EQ(frame[1], CMD_HEADER);
  EXPECT_EQ(frame[2], static_cast<uint8_t>(0xA1 + 0x10 + 0x20 + 0xF0));
  EXPECT_EQ(frame[3], 0x10);
  EXPECT_EQ(frame[5], 0xF0);
  for (size_t i = 6; i < kFrameBytes; ++i) EXPECT_EQ(frame[i], 0) << i;
  EXPECT_TRUE(IsValidFrame(frame));
}

TEST(DeviceFrame, EmptyPayloadChecksumIsTheCommand) {
  EXPECT_EQ(MakeFrame(CMD_OUT_OF_SEQUENCE, {})[2], 0xA3);
}

TEST(DeviceFrame, FullPayloadReachesTheLastByteAndLongerIsCut) {
  std::vector<uint8_t> payload(70);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i + 1);
  const DeviceFrame frame = MakeFrame(CMD_BLOCK, payload);
  EXPECT_EQ(frame[63], 61);
  EXPECT_TRUE(IsValidFrame(frame));
}

TEST(DeviceFrame, ValidityLooksAtSyncCommandAndEveryPayloadByte) {
  const DeviceFrame good = MakeFrame(CMD_COMPLETE, std::vector<uint8_t>{1, 2, 3});
  DeviceFrame frame = good;
  frame[0] = 0xAB;
  EXPECT_FALSE(IsValidFrame(frame));
  for (size_t at : {size_t{1}, size_t{2}, size_t{3}, size_t{40}, size_t{63}}) {
    frame = good;
    frame[at] ^= 0x01;
    EXPECT_FALSE(IsValidFrame(frame)) << at;
  }
  // A change that keeps the sum (one byte up, another down) is not seen.
  frame = good;
  ++frame[10];
  --frame[11];
  EXPECT_TRUE(IsValidFrame(frame));
}

TEST(DeviceFrame, ChecksumWrapsModulo256) {
  const std::vector<uint8_t> payload(61, 0xFF);
  const DeviceFrame frame = MakeFrame(CMD_BLOCK, payload);
  EXPECT_EQ(frame[2], static_cast<uint8_t>(0xA2 + 61 * 0xFF));
  EXPECT_TRUE(IsValidFrame(frame));
}

TEST(ByteOrder, LittleEndianFields) {
  uint8_t bytes[4];
  PutLe32(bytes, 0x12345678);
  EXPECT_EQ(bytes[0], 0x78);
  EXPECT_EQ(bytes[3], 0x12);
  EXPECT_EQ(GetLe32(bytes), 0x12345678u);
  PutLe16(bytes, 0xABCD);
  EXPECT_EQ(bytes[0], 0xCD);
  EXPECT_EQ(GetLe16(bytes), 0xABCDu);
  const uint8_t key[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
  EXPECT_EQ(GetBe64(key), 0x01020304050607F8u);
}

TEST(DeviceFrame, BlockCountAndSliceArithmetic) {
  EXPECT_EQ(BlockCount(0), 0u);
  EXPECT_EQ(BlockCount(17), 1u);
  EXPECT_EQ(BlockCount(1758), 1u);
  EXPECT_EQ(BlockCount(1759), 2u);
  EXPECT_EQ(BlockCount(16u << 20), 9544u);
  EXPECT_EQ(kSlicesPerBlock, 32u);
  EXPECT_EQ(kMaxSliceEntries, 56u);
}

}  // namespace
}  // namespace tabrelium
