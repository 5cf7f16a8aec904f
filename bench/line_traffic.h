#pragma once

// Realistic line traffic for the measurement programs, made one batch of
// exchanges at a time: requests of 12 KPs for Gts, Gkds, Gtit, Ot and Bo,
// each answered 30 ms later, 100 ms to the next request; 1 % of the requests
// and 4 % of the answers with a flipped bit, 3 % of the answers missing;
// white noise on the answer side. Each batch is a fresh line simulator whose
// frames the caller takes and may drop, so a day of traffic never sits in
// memory.

#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "sim/line_simulator.h"

namespace sorvex::bench {

class TLineTraffic {
 public:
  static constexpr int kExchangesPerBatch = 32;  // about 10 s of line
  static constexpr double kReplyMs = 30;         // request end → answer start
  static constexpr double kGapMs = 100;          // answer end → next request

  TLineTraffic(std::string settings, uint32_t seed, double answerEbN0Db)
      : FSettings(std::move(settings)), FRandom(seed), FEbN0Db(answerEbN0Db) {}

  // The next batch's interleaved stereo frames.
  std::vector<int16_t> NextBatch() {
    TLineSimulator line(FSettings, static_cast<uint32_t>(FRandom()));
    line.SetNoise(FEbN0Db, 1);
    for (int i = 0; i < kExchangesPerBatch; ++i) Exchange(line);
    FBatchStart += line.FrameCount();
    return line.Frames();
  }

  // Counts the exchanges whose last frame lies before `frames` (counted from
  // the start of the line): what the device has been fed so far.
  void Fed(int64_t frames) {
    while (!FQueued.empty() && FQueued.front().End <= frames) {
      const TExchange& e = FQueued.front();
      ++RequestsSent;
      AnswersSent += e.Answered ? 1 : 0;
      Dropped += e.Answered ? 0 : 1;
      Corrupted += e.Corrupted ? 1 : 0;
      FQueued.pop_front();
    }
  }

  int64_t RequestsSent = 0, AnswersSent = 0, Corrupted = 0, Dropped = 0;

 private:
  struct TExchange {
    int64_t End;  // the frame after the exchange
    bool Answered;
    bool Corrupted;
  };

  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRandom); }

  void Exchange(TLineSimulator& line) {
    RequestDescriptor request;
    AnswerDescriptor answer;
    request.KpAddress = answer.KpAddress = static_cast<uint8_t>(Uniform(1, 12));
    static constexpr uint8_t kFunctions[] = {0x90, 0x90, 0x90, 0x20, 0x10, 0x10, 0x50, 0xD0};
    const uint8_t function = kFunctions[Uniform(0, 7)];
    request.FunctionCode = answer.FunctionCode = function;
    switch (function) {
      case 0x90:  // Gts, Gkds: group 1..4 and its TS byte
      case 0x20:
        request.Group = answer.Group = static_cast<uint8_t>(Uniform(1, 4));
        answer.Bytes = {static_cast<uint8_t>(Uniform(0, 255))};
        break;
      case 0x10:  // Gtit: eight values
        request.Group = answer.Group = static_cast<uint8_t>(Uniform(1, 4));
        for (auto& word : answer.Words) word = MakeTitWord(Uniform(-2047, 2047), 0);
        break;
      case 0xD0:  // Bo: three data bytes
        for (int i = 0; i < 3; ++i) answer.Bytes.push_back(static_cast<uint8_t>(Uniform(0, 255)));
        break;
      default:  // Ot
        break;
    }
    const int fate = Uniform(0, 99);
    const bool badRequest = fate == 0;
    const bool badAnswer = fate >= 1 && fate < 5;
    const bool dropped = fate >= 5 && fate < 8;
    // Bits 0..35: the request's four characters; 0..17: the address and
    // function characters that every answer has.
    line.SendRequest(request, badRequest ? Uniform(0, 35) : -1);
    line.Silence(kReplyMs);
    if (!dropped) line.SendAnswer(answer, badAnswer ? Uniform(0, 17) : -1);
    line.Silence(kGapMs);
    FQueued.push_back({FBatchStart + line.FrameCount(), !dropped, badRequest || badAnswer});
  }

  std::string FSettings;
  std::mt19937 FRandom;
  double FEbN0Db;
  int64_t FBatchStart = 0;  // frames of the batches before this one
  std::deque<TExchange> FQueued;
};

}  // namespace sorvex::bench
