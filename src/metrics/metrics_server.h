#pragma once

// /metrics over HTTP (libmicrohttpd, its own thread). The tick publishes the
// rendered text; a scrape only copies the latest pointer under a mutex held
// for that copy alone, so neither the tick nor the audio thread ever waits
// on a client.

#include <memory>
#include <mutex>
#include <string>

struct MHD_Daemon;

namespace sorvex {

class TMonitor;

struct TMetricsAddress {
  std::string Host = "127.0.0.1";  // numeric IPv4, or IPv6 without brackets
  int Port = 0;
  bool Ipv6 = false;
};

// "ADDRESS:PORT", ":PORT" (loopback), "[IPV6]:PORT"; port 1..65535.
bool ParseMetricsAddress(const std::string& text, TMetricsAddress& address, std::string& error);
// The host name, the default line name.
std::string HostName();

class TMetricsServer {
 public:
  ~TMetricsServer();
  // Listening, or nullptr with the reason in `error`. Port 0 takes a free one.
  static std::unique_ptr<TMetricsServer> Start(const TMetricsAddress& address,
                                               const std::string& line, std::string& error);
  int Port() const { return FPort; }

  // From the tick: renders again only when something shown changed.
  void Publish(const TMonitor& monitor);
  std::shared_ptr<const std::string> Text() const;

 private:
  TMetricsServer() = default;

  MHD_Daemon* FDaemon = nullptr;
  int FPort = 0;
  std::string FLine;
  struct TState;
  std::unique_ptr<TState> FState;  // the last snapshot, the tick's alone
  mutable std::mutex FMutex;
  std::shared_ptr<const std::string> FText;
};

}  // namespace sorvex
