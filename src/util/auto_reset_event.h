#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace sorvex {

// An event that a successful wait consumes: Set() wakes one waiter (or the
// next one to come), and the event is then clear again.
class TAutoResetEvent {
 public:
  void Set() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FSignalled = true;
    }
    FChanged.notify_one();
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(FMutex);
    FSignalled = false;
  }
  // Waits up to waitMs milliseconds (0 = just look); true when it was signalled.
  bool Wait(int waitMs) {
    std::unique_lock<std::mutex> lock(FMutex);
    if (!FSignalled && waitMs > 0) {
      FChanged.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return FSignalled; });
    }
    const bool was = FSignalled;
    FSignalled = false;
    return was;
  }

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FSignalled = false;
};

}  // namespace sorvex
