// The dynamic-disk probe over MBR chains and GPT entry names.
#include <gtest/gtest.h>

#include "DiskStyleProbe.h"
#include "FaultInjectingDevice.h"
#include "StorageDeviceInfo.h"

namespace {

void PutEntry(std::vector<uint8_t>& disk, uint64_t sector, int slot, uint8_t type, uint32_t start) {
  uint8_t* e = disk.data() + sector * 512 + 446 + 16 * slot;
  e[4] = type;
  for (int i = 0; i < 4; ++i) e[8 + i] = static_cast<uint8_t>(start >> (8 * i));
}

void PutGptName(std::vector<uint8_t>& disk, int slot, const char* name) {
  uint8_t* p = disk.data() + 2 * 512 + 128 * slot + 56;
  for (int i = 0; name[i]; ++i) {
    p[2 * i] = static_cast<uint8_t>(name[i]);
    p[2 * i + 1] = 0;
  }
}

uint8_t Probe(std::vector<uint8_t> bytes) {
  testutil::MemoryDevice d(std::move(bytes), 512);
  return ProbeDiskStyle(&d, d.GetSectorCount(), 512);
}

}  // namespace

TEST(DiskStyleProbe, Table) {
  std::vector<uint8_t> blank(400 * 512, 0);

  auto chain42 = blank;  // 0x42 deep in the extended chain
  PutEntry(chain42, 0, 0, 0x83, 1);
  PutEntry(chain42, 0, 1, 0x0F, 100);
  PutEntry(chain42, 100, 0, 0x83, 1);
  PutEntry(chain42, 100, 1, 0x05, 50);
  PutEntry(chain42, 150, 0, 0x42, 1);

  auto loop = blank;  // a chain pointing back at itself ends
  PutEntry(loop, 0, 0, 0x05, 100);
  PutEntry(loop, 100, 0, 0x05, 0);

  auto outside = blank;  // a chain pointing past the disk ends
  PutEntry(outside, 0, 0, 0x05, 0xFFFFFFF0u);

  auto gpt = blank;
  PutEntry(gpt, 0, 0, 0xEE, 1);
  PutGptName(gpt, 1, "LDM metadata partition");
  PutGptName(gpt, 3, "LDM data partition");

  auto gptHalf = gpt;
  PutGptName(gptHalf, 3, "Basic data partition");

  EXPECT_EQ(Probe(blank), 0);
  EXPECT_EQ(Probe(chain42), 1);
  EXPECT_EQ(Probe(loop), 0);
  EXPECT_EQ(Probe(outside), 0);
  EXPECT_EQ(Probe(gpt), 1);
  EXPECT_EQ(Probe(gptHalf), 0);
  EXPECT_EQ(Probe(std::vector<uint8_t>(6 * 512, 0)), 0);
}

TEST(DiskStyleProbe, PrivHeadAndDescriptorHelpers) {
  std::vector<uint8_t> sector(512, 0);
  memcpy(sector.data(), "PRIVHEAD", 8);
  sector[12] = 0x00;
  sector[13] = 0x02;
  sector[331] = 1;
  ASSERT_TRUE(ParsePrivHead(sector.data(), sector.size()));
  EXPECT_EQ(sector[12], 0x02);
  EXPECT_EQ(sector[334], 1);
  sector[0] = 'X';
  EXPECT_FALSE(ParsePrivHead(sector.data(), sector.size()));

  char text[] = "  WDC  ";
  char padded[] = "Samsung SSD  860   ";
  EXPECT_STREQ(TrimDescriptorString(padded), "Samsung SSD ");
  TrimDescriptorString(text);
  char name[260] = {};
  GetBusTypeName(7, name, sizeof name);
  EXPECT_STREQ(name, "USB Device");
  char none[260] = {};
  GetBusTypeName(17, none, sizeof none);
  EXPECT_STREQ(none, "");
}
