#pragma once

// Test helpers: telegrams written as characters ("C1/0 90/1 …"), packed
// independently of the encoders, and exact-size copies for the bounds tests.

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/telegram.h"
#include "protocol/telemetry_block.h"

namespace sorvex::test {

struct TBits {
  std::vector<uint8_t> Bytes;
  uint16_t Count = 0;
  const uint8_t* Data() const { return Bytes.data(); }
};

inline void AppendBit(TBits& b, int bit) {
  if (b.Count % 8 == 0) b.Bytes.push_back(0);
  if (bit) b.Bytes.back() |= static_cast<uint8_t>(0x80 >> (b.Count % 8));
  ++b.Count;
}

inline void AppendChar(TBits& b, uint8_t data, int ninth) {
  for (int i = 7; i >= 0; --i) AppendBit(b, (data >> i) & 1);
  AppendBit(b, ninth);
}

// "C1/0 90/1 01/0" → packed bits; "C1 90" (no slash) takes the parity bit.
inline TBits Chars(const std::string& list) {
  TBits b;
  std::istringstream in(list);
  std::string item;
  while (in >> item) {
    const auto slash = item.find('/');
    const auto data =
        static_cast<uint8_t>(std::strtoul(item.substr(0, slash).c_str(), nullptr, 16));
    const int ninth = slash == std::string::npos ? ParityBit(data) : item[slash + 1] - '0';
    AppendChar(b, data, ninth);
  }
  return b;
}

inline TBits Flip(TBits b, unsigned bit) {
  b.Bytes[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
  return b;
}

inline std::string BitsText(const uint8_t* bytes, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
  return s;
}

// A store that counts its calls and hands out one heap block, alone in its
// allocation, so ASan sees any write past it.
class TCountingStore : public TTelemetryStore {
 public:
  KpTelemetryBlock* FindKpRecord(uint8_t kp, bool create) override {
    ++Calls;
    LastKp = kp;
    LastCreate = create;
    if (!FBlock) FBlock = std::make_unique<KpTelemetryBlock>();
    return FBlock.get();
  }
  KpTelemetryBlock& Block() {
    if (!FBlock) FBlock = std::make_unique<KpTelemetryBlock>();
    return *FBlock;
  }
  int Calls = 0;
  uint8_t LastKp = 0;
  bool LastCreate = false;

 private:
  std::unique_ptr<KpTelemetryBlock> FBlock;
};

// One block per KP, each its own heap allocation.
class TMapStore : public TTelemetryStore {
 public:
  KpTelemetryBlock* FindKpRecord(uint8_t kp, bool create) override {
    ++Calls;
    auto it = FBlocks.find(kp);
    if (it != FBlocks.end()) return it->second.get();
    if (!create) return nullptr;
    return (FBlocks[kp] = std::make_unique<KpTelemetryBlock>()).get();
  }
  bool Has(uint8_t kp) const { return FBlocks.count(kp) != 0; }
  int Calls = 0;

 private:
  std::map<uint8_t, std::unique_ptr<KpTelemetryBlock>> FBlocks;
};

// Characters with a long end and the check character computed from them.
inline TBits WithCheck(const std::string& chars) {
  TBits b = Chars(chars + " 20/1");
  const uint16_t rem = TelegramCrcRemainder(b.Data(), static_cast<uint16_t>(b.Count - 9));
  AppendChar(b, static_cast<uint8_t>(rem >> 1), rem & 1);
  return b;
}

}  // namespace sorvex::test
