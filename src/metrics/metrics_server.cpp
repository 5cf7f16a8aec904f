#include "metrics/metrics_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "metrics/metrics_text.h"

namespace sorvex {

namespace {

// Bounds: a scraper needs one connection; a few spare for people and probes.
constexpr unsigned kConnectionLimit = 32;
constexpr unsigned kPerIpLimit = 16;
constexpr size_t kConnectionMemory = 32 * 1024;  // request head and body, per connection
constexpr unsigned kTimeoutSeconds = 10;         // an idle or slow client is dropped

// What libmicrohttpd says while starting (why a bind failed); ignored after.
struct TStartLog {
  std::string Text;
  std::atomic<bool> Capturing{true};
};

void LogMessage(void* context, const char* format, va_list args) {
  auto* log = static_cast<TStartLog*>(context);
  if (!log->Capturing) return;
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  log->Text = text;
  while (!log->Text.empty() && (log->Text.back() == '\n' || log->Text.back() == '.'))
    log->Text.pop_back();
}

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body,
                  const char* type) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  const MHD_Result result = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return result;
}

MHD_Result HandleRequest(void* context, MHD_Connection* connection, const char* url,
                         const char* method, const char*, const char*, size_t* uploadSize,
                         void** connectionState) {
  // The first call sees only the head; answer on the second, after any body.
  static int headSeen;
  if (*connectionState == nullptr) {
    *connectionState = &headSeen;
    return MHD_YES;
  }
  if (*uploadSize != 0) {
    *uploadSize = 0;  // a body is read and dropped, within the memory bound
    return MHD_YES;
  }
  if (std::strcmp(url, "/metrics") != 0) {
    return Answer(connection, MHD_HTTP_NOT_FOUND, "not found\n", "text/plain");
  }
  if (std::strcmp(method, "GET") != 0 && std::strcmp(method, "HEAD") != 0) {
    return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "GET only\n", "text/plain");
  }
  const auto* server = static_cast<const TMetricsServer*>(context);
  const std::shared_ptr<const std::string> text = server->Text();
  return Answer(connection, MHD_HTTP_OK, text ? *text : std::string(),
                "text/plain; version=0.0.4; charset=utf-8");
}

}  // namespace

struct TMetricsServer::TState {
  TMetricsSnapshot Last;
  bool Rendered = false;
  TStartLog Log;  // lives as long as the daemon that may call the logger
};

bool ParseMetricsAddress(const std::string& text, TMetricsAddress& address, std::string& error) {
  error = "'" + text + "' is no ADDRESS:PORT (e.g. 127.0.0.1:9464, :9464, [::1]:9464)";
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  TMetricsAddress parsed;
  if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
    return false;
  parsed.Port = std::stoi(port);
  if (parsed.Port < 1 || parsed.Port > 65535) {
    error = "port " + port + " is out of range 1..65535";
    return false;
  }
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    in6_addr probe{};
    if (inet_pton(AF_INET6, host.c_str(), &probe) != 1) return false;
    parsed.Ipv6 = true;
  } else if (!host.empty()) {
    in_addr probe{};
    if (inet_pton(AF_INET, host.c_str(), &probe) != 1) return false;
  }
  if (!host.empty()) parsed.Host = host;
  address = parsed;
  error.clear();
  return true;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == 0) return "localhost";
  return name;
}

std::unique_ptr<TMetricsServer> TMetricsServer::Start(const TMetricsAddress& address,
                                                      const std::string& line, std::string& error) {
  std::unique_ptr<TMetricsServer> server(new TMetricsServer());
  server->FLine = line;
  server->FState = std::make_unique<TState>();
  server->FText = std::make_shared<const std::string>(RenderMetrics(server->FState->Last));
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  const sockaddr* bind = nullptr;
  if (address.Ipv6) {
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<uint16_t>(address.Port));
    inet_pton(AF_INET6, address.Host.c_str(), &v6.sin6_addr);
    bind = reinterpret_cast<const sockaddr*>(&v6);
  } else {
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<uint16_t>(address.Port));
    inet_pton(AF_INET, address.Host.c_str(), &v4.sin_addr);
    bind = reinterpret_cast<const sockaddr*>(&v4);
  }
  // The time zone is read here, before the server's thread exists: the
  // publisher's mktime and the server's own date handling would otherwise
  // race to load it first.
  tzset();
  TStartLog& log = server->FState->Log;
  unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
  if (address.Ipv6) flags |= MHD_USE_IPv6;
  server->FDaemon = MHD_start_daemon(
      flags, static_cast<uint16_t>(address.Port), nullptr, nullptr, &HandleRequest, server.get(),
      MHD_OPTION_SOCK_ADDR, bind, MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit,
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, kPerIpLimit, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
      kConnectionMemory, MHD_OPTION_CONNECTION_TIMEOUT, kTimeoutSeconds, MHD_OPTION_EXTERNAL_LOGGER,
      &LogMessage, &log, MHD_OPTION_END);
  log.Capturing = false;
  const std::string where =
      (address.Ipv6 ? "[" + address.Host + "]" : address.Host) + ":" + std::to_string(address.Port);
  if (server->FDaemon == nullptr) {
    error = "cannot serve metrics on " + where + (log.Text.empty() ? "" : ": " + log.Text);
    return nullptr;
  }
  const MHD_DaemonInfo* info = MHD_get_daemon_info(server->FDaemon, MHD_DAEMON_INFO_BIND_PORT);
  server->FPort = info ? info->port : address.Port;
  return server;
}

TMetricsServer::~TMetricsServer() {
  if (FDaemon) MHD_stop_daemon(FDaemon);
}

void TMetricsServer::Publish(const TMonitor& monitor) {
  TMetricsSnapshot snapshot = TakeMetricsSnapshot(monitor, FLine);
  if (FState->Rendered && snapshot == FState->Last) return;
  auto text = std::make_shared<const std::string>(RenderMetrics(snapshot));
  FState->Last = std::move(snapshot);
  FState->Rendered = true;
  const std::lock_guard<std::mutex> lock(FMutex);
  FText = std::move(text);
}

std::shared_ptr<const std::string> TMetricsServer::Text() const {
  const std::lock_guard<std::mutex> lock(FMutex);
  return FText;
}

}  // namespace sorvex
