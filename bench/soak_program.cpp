// Soak run of the work tab: simulated line traffic at 2400 baud (requests
// and answers of several KPs and functions, about 5 % of the exchanges with a
// flipped bit, 3 % without an answer, noise on the answer side) through the
// two-channel device and the monitor on signal time, as fast as it runs.
// Every simulated hour it prints what was handled, the journal sizes, the KP
// records and the memory: once the journals are full (551 entries each) the
// resident size must stay flat.
//
//   soak_program [HOURS]     (default 24; fractions allowed)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "line_traffic.h"
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "sim/loopback_stream.h"
#include "sim/signal_time_driver.h"

namespace sorvex {
namespace {

constexpr int64_t kMicrosPerHour = 3600LL * 1000000;
constexpr double kAnswerEbN0Db = 25;

// Counts the journal lines as the monitor adds them.
class TSoakObserver : public TMonitorObserver {
 public:
  void EntryAdded(const TLogEntry& entry) override {
    ++Added[entry.logIndex ? 1 : 0];
    if (entry.logIndex == 0) return;
    if (entry.kind == lkRequest || entry.kind == lkBadRequest) ++Requests;
    if (entry.kind == lkAnswer || entry.kind == lkBadAnswer) ++Answers;
    if (entry.kind == lkBadRequest || entry.kind == lkBadAnswer) ++Rejected;
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    ++Errors;
    std::fprintf(stderr, "%s %s\n", caption.c_str(), text.c_str());
  }

  int64_t Added[2] = {0, 0};
  int64_t Requests = 0, Answers = 0, Rejected = 0, Errors = 0;
};

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // KiB on Linux
}

double CurrentRssMb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

int Run(double hours) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("sorvex_soak_" + std::to_string(static_cast<long>(getpid())));
  std::filesystem::create_directories(dir);
  const std::string settings = (dir / "modem2400.ini").string();
  std::ofstream(settings) << "[GENERAL]\nBaudrate=2400\nFreq0=1200\nFreq1=2400\n"
                          << "[FILTERS]\nSmoothing_Freq1=2400\n";

  TManualClock clock(45000.0);
  TSoakObserver observer;
  TMonitor monitor(clock, observer);
  TSignalTimeDriver driver(monitor, clock);

  // The pending frames of the current batch; the source hands them out one
  // block at a time.
  std::vector<int16_t> pending;
  size_t offset = 0;
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  loop->SetInputSource([&](int64_t, int16_t* input, int frames) {
    const size_t samples = static_cast<size_t>(frames) * 2;
    std::copy(pending.begin() + static_cast<long>(offset),
              pending.begin() + static_cast<long>(offset + samples), input);
    offset += samples;
    return true;
  });
  loop->SetOutputSink([](int64_t, const int16_t*, int) {});
  monitor.StartDevice(std::make_unique<TModemDevice>(settings, std::move(stream)), 0.2, 0.2);
  monitor.BtStartStopClick(true);

  bench::TLineTraffic traffic(settings, 20240601, kAnswerEbN0Db);
  const int64_t totalMicros = static_cast<int64_t>(hours * static_cast<double>(kMicrosPerHour));
  const auto wallStart = std::chrono::steady_clock::now();
  std::printf(
      "hour\treq sent\treq taken\tans sent\tans taken\trejected\tevents\texchange\tadded E/X\t"
      "KP records\tpeak RSS MB\tRSS MB\twall s\n");
  int64_t nextReport = kMicrosPerHour;
  auto report = [&](double hour) {
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    std::printf(
        "%.2f\t%lld\t%lld\t%lld\t%lld\t%lld\t%zu\t%zu\t%lld/%lld\t%zu\t%.1f\t%.1f\t%.1f\n", hour,
        static_cast<long long>(traffic.RequestsSent), static_cast<long long>(observer.Requests),
        static_cast<long long>(traffic.AnswersSent), static_cast<long long>(observer.Answers),
        static_cast<long long>(observer.Rejected), monitor.EventLog().Size(),
        monitor.ExchangeLog().Size(), static_cast<long long>(observer.Added[0]),
        static_cast<long long>(observer.Added[1]), monitor.KpStats().Size(), PeakRssMb(),
        CurrentRssMb(), wall);
    std::fflush(stdout);
  };

  int64_t signalMicros = 0;
  while (signalMicros < totalMicros) {
    // Keep the unfed tail (under one block) so the line runs on seamlessly.
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(offset));
    offset = 0;
    const std::vector<int16_t> batch = traffic.NextBatch();
    pending.insert(pending.end(), batch.begin(), batch.end());
    while (pending.size() - offset >= 2048 && signalMicros < totalMicros) {
      if (loop->Pump(1) != 1) {
        std::fprintf(stderr, "soak_program: the loopback stream stopped\n");
        monitor.StopDevice();
        std::filesystem::remove_all(dir);
        return 1;
      }
      driver.BlockDone();
      traffic.Fed(driver.Blocks() * 1024);
      signalMicros = driver.Blocks() * TSignalTimeDriver::kBlockMicros;
      if (signalMicros >= nextReport) {
        report(static_cast<double>(nextReport) / kMicrosPerHour);
        nextReport += kMicrosPerHour;
      }
    }
  }
  if (totalMicros % kMicrosPerHour != 0) {
    report(static_cast<double>(signalMicros) / kMicrosPerHour);
  }
  monitor.StopDevice();
  std::filesystem::remove_all(dir);
  std::printf("corrupted %lld, dropped %lld, tick errors %lld\n",
              static_cast<long long>(traffic.Corrupted), static_cast<long long>(traffic.Dropped),
              static_cast<long long>(observer.Errors));
  return observer.Errors == 0 ? 0 : 1;
}

}  // namespace
}  // namespace sorvex

int main(int argc, char** argv) {
  double hours = 24;
  if (argc > 1) {
    char* end = nullptr;
    hours = std::strtod(argv[1], &end);
    if (*end != '\0' || !(hours > 0) || hours > 24 * 365) {
      std::fprintf(stderr, "usage: soak_program [HOURS]   (default 24)\n");
      return 2;
    }
  }
  return sorvex::Run(hours);
}
