#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "modem/telegram_measurer.h"

namespace sorvex {

// Measures one telegram at a time on a thread of its own, so that the
// thread receiving goes on with the line meanwhile: it waits only if it
// wants the figures before they are ready, as when it hands over the next
// telegram first.
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

  mutable std::mutex FLock;
  std::condition_variable FWake;  // a job came, or the thread is to end
  std::condition_variable FDone;  // the job in hand is measured
  TTelegramSignal FJob;
  TToneEstimate FResult{};
  bool FBusy = false;
  bool FEnd = false;
  std::thread FThread;  // last: it starts once the rest is set
};

}  // namespace sorvex
