#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "modem/telegram_measurer.h"

namespace sorvex {

// Measures one telegram at a time on a thread of its own, so that the
// thread receiving goes on with the line meanwhile: it waits only if it
// wants the figures before they are ready, as when it hands over the next
// telegram first. Either side looks for the other a little while before it
// sleeps: waking a sleeping thread cost the receiving thread about 10 µs a
// telegram, 8 % of its throughput at 1200 bit/s.
class TMeasuringThread {
 public:
  TMeasuringThread();
  ~TMeasuringThread();
  TMeasuringThread(const TMeasuringThread&) = delete;
  TMeasuringThread& operator=(const TMeasuringThread&) = delete;

  // Starts on `signal`; a telegram still in hand is waited for and its
  // figures dropped.
  void Start(TTelegramSignal signal);
  // True when nothing is being measured.
  bool Done() const;
  // The figures of the last telegram started, waiting for them if need be.
  TToneEstimate Wait();

 private:
  void Run();

  std::mutex FLock;
  std::condition_variable FWake;  // a job came, or the thread is to end
  std::condition_variable FDone;  // the job in hand is measured
  TTelegramSignal FJob;
  TToneEstimate FResult{};
  // Set under the lock; looked at without it by Done() and while looking out.
  std::atomic<bool> FBusy = false;
  std::atomic<bool> FEnd = false;
  // A side's waiting before it sleeps; each is touched by its own side only.
  struct TLookOut {
    template <class F>
    void Wait(F ready);
    int Skip = 0;     // look-outs still to skip
    int Backoff = 0;  // how many the last failure skipped
  };
  TLookOut FCallerLook, FThreadLook;
  std::thread FThread;  // last: it starts once the rest is set
};

}  // namespace sorvex
