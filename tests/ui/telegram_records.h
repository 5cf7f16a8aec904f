#pragma once
// What the oscillograph shows for a telegram on the line: a request encoded
// by the request encoder, modulated by the channel modem's transmitter
// (last tone held one bit longer, as a line does), and taken by a second
// modem's receiver, which leaves the signal records behind.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "modem/modem.h"
#include "protocol/request_encoder.h"

namespace sorvex::testing {

struct ReceivedTelegram {
  int32_t bitCount = 0;  // 0: nothing received
  std::vector<TSignalRecord> records;
};

inline ReceivedTelegram ReceiveRequest(const RequestDescriptor& request) {
  const char* const kDefaults = "/nonexistent/sorvex-ui/modem.ini";  // 200 bit/s defaults
  uint8_t line[kMaxTelegramBytes] = {};
  const int bitCount = EncodeRequestTelegram(line, request);
  const bool lastBit = line[(bitCount - 1) / 8] & (0x80 >> ((bitCount - 1) % 8));
  if (lastBit)
    line[bitCount / 8] = static_cast<uint8_t>(line[bitCount / 8] | (0x80 >> (bitCount % 8)));

  TModem transmitter(kDefaults, 1024);
  int32_t baud = 0, f0 = 0, f1 = 0;
  transmitter.GetGeneral(baud, f0, f1);
  std::vector<int16_t> frames(2 * 400, 0);  // 50 ms of silence, left channel
  transmitter.StartTransmit(line, bitCount + 1);
  while (transmitter.Transmitting()) {
    double sample = 0;
    transmitter.Modulate(&sample, 1);
    frames.push_back(static_cast<int16_t>(sample * 16000.0));
    frames.push_back(0);
  }
  frames.resize(frames.size() + 2 * static_cast<size_t>(std::max(160, 8 * 8000 / baud)), 0);

  TModem receiver(kDefaults, 1024);
  receiver.SetRecordCapacity(64000);
  receiver.ResetReceiver();
  ReceivedTelegram out;
  uint8_t bytes[kMaxTelegramBytes + 1] = {};
  const int total = static_cast<int>(frames.size() / 2);
  for (int at = 0; at < total && out.bitCount == 0; at += 1024) {
    receiver.ProcessBlock(0, frames.data() + 2 * at, std::min(1024, total - at));
    out.bitCount = receiver.TakeTelegram(bytes, 0);
  }
  if (out.bitCount > 0) {
    out.records.resize(64000);
    out.records.resize(static_cast<size_t>(receiver.CopySignalRecords(out.records.data())));
  }
  return out;
}

}  // namespace sorvex::testing
