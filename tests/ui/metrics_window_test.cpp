// The window's metrics: served under LineName where MetricsAddress says,
// a port it cannot have said in the events journal.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "metrics/metrics_server.h"
#include "window_fixture.h"

namespace sorvex::testing {
namespace {

std::string Scrape(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    const std::string request = "GET /metrics HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  }
  close(fd);
  return answer;
}

TEST_F(WindowTest, ServesMetricsUnderTheLineNameOrSaysWhyNot) {
  // A port held by another server: the window comes up and says so.
  std::string error;
  auto holder = TMetricsServer::Start(TMetricsAddress{}, "holder", error);
  ASSERT_NE(holder, nullptr) << error;
  const std::string taken = "127.0.0.1:" + std::to_string(holder->Port());
  IniWriteString(Ini(), "MetricsAddress", taken);
  IniWriteString(Ini(), "LineName", "Линия 7");
  OpenOnLine();
  const TJournal& events = Monitor().EventLog();
  ASSERT_GT(events.Size(), 0u);
  EXPECT_EQ(events[events.Size() - 1].text.rfind(
                "Метрики не отдаются: cannot serve metrics on " + taken, 0),
            0u)
      << events[events.Size() - 1].text;
  form.reset();

  // Free again: served, with the line's name on every series.
  const int port = holder->Port();
  holder.reset();
  Open();
  Tick();
  const std::string text = Scrape(port);
  EXPECT_NE(text.find("sorvex_device_open{line=\"Линия 7\"} 1\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace sorvex::testing
