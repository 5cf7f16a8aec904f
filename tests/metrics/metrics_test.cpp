// The exposition text of a scripted line, and the server's answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "metrics/metrics_server.h"
#include "metrics/metrics_text.h"
#include "monitor/line_rig.h"
#include "protocol/request_encoder.h"
#include "sim/answer_encoder.h"

namespace sorvex {
namespace {

using testing::LineRig;

constexpr testing::RateSetup k1200{1200, 1300, 2100, 1500};

bool Has(const std::string& text, const std::string& line) {
  return text.find(line + "\n") != std::string::npos;
}

TEST(MetricsText, CountsTheLineAndKeepsCountersAcrossAStatisticsReset) {
  LineRig rig{k1200, "metrics.ini"};
  rig.monitor.BtStartStopClick(true);
  RequestDescriptor request{};
  request.KpAddress = 3;
  request.FunctionCode = 0x90;
  request.Group = 1;
  AnswerDescriptor answer{};
  answer.KpAddress = 3;
  answer.FunctionCode = 0x90;
  answer.Group = 1;
  answer.Bytes = {0xA5};
  rig.Line().SendRequest(request);
  rig.Line().Silence(30);
  rig.Line().SendAnswer(answer);
  rig.Line().Silence(100);
  rig.Line().SendRequest(request);
  rig.Line().Silence(100);
  rig.Line().SendRequest(request);  // a repeat: KP 3 was asked and did not answer
  rig.Line().Silence(30);
  rig.Line().SendAnswer(answer, 20);  // a corrupted answer
  rig.Play();
  rig.monitor.ResetStatistics();
  ASSERT_TRUE(rig.monitor.KpStats().Empty());

  const std::string text = RenderMetrics(TakeMetricsSnapshot(rig.monitor, "Линия \"A\"\\1\n"));
  const std::string line = "line=\"Линия \\\"A\\\"\\\\1\\n\"";
  EXPECT_TRUE(Has(
      text, "sorvex_telegrams_total{" + line + ",side=\"request\",kp=\"3\",result=\"valid\"} 3"))
      << text;
  EXPECT_TRUE(Has(
      text, "sorvex_telegrams_total{" + line + ",side=\"answer\",kp=\"3\",result=\"valid\"} 1"));
  EXPECT_TRUE(
      Has(text, "sorvex_exchange_problems_total{" + line + ",kp=\"3\",problem=\"repeat\"} 1"))
      << text;
  EXPECT_TRUE(
      Has(text, "sorvex_exchange_problems_total{" + line + ",kp=\"3\",problem=\"bad_answer\"} 1"));
  EXPECT_TRUE(Has(text, "sorvex_device_open{" + line + "} 1"));
  EXPECT_TRUE(Has(text, "sorvex_receiving{" + line + "} 1"));
  // The flip lies past the address: the corrupted answer is KP 3's.
  EXPECT_TRUE(Has(
      text, "sorvex_telegrams_total{" + line + ",side=\"answer\",kp=\"3\",result=\"invalid\"} 1"));
  // Every series has its HELP and TYPE, counters as counters.
  for (const char* name : {"sorvex_telegrams_total", "sorvex_exchange_problems_total",
                           "sorvex_dropped_blocks_total"}) {
    EXPECT_TRUE(Has(text, std::string("# TYPE ") + name + " counter")) << name;
  }
  for (const char* name : {"sorvex_level_db", "sorvex_noise_db", "sorvex_snr_db",
                           "sorvex_last_telegram_timestamp_seconds", "sorvex_device_open",
                           "sorvex_receiving", "sorvex_tone_hz", "sorvex_bit_rate"}) {
    EXPECT_TRUE(Has(text, std::string("# TYPE ") + name + " gauge")) << name;
    EXPECT_NE(text.find(std::string("# HELP ") + name + " "), std::string::npos) << name;
  }
  // The measured figures, as sent: the rig's modem runs on its settings.
  const auto value = [&](const std::string& series) {
    const size_t at = text.find(series + " ");
    return at == std::string::npos ? -1.0 : std::stod(text.substr(at + series.size() + 1));
  };
  const std::string answer3 = line + ",side=\"answer\",kp=\"3\"";
  EXPECT_NEAR(value("sorvex_tone_hz{" + answer3 + ",tone=\"0\"}"), 1300, 5) << text;
  EXPECT_NEAR(value("sorvex_tone_hz{" + answer3 + ",tone=\"1\"}"), 2100, 10);
  EXPECT_NEAR(value("sorvex_bit_rate{" + answer3 + "}"), 1200, 1200 * 0.003);
  // The last valid telegram: the rig's clock started 2026-12-08 10:00 local.
  const double start = DateTimeToUnix(EncodeDateTime({2026, 12, 8, 10, 0, 0, 0}));
  const size_t stamp =
      text.find("sorvex_last_telegram_timestamp_seconds{" + line + ",side=\"request\",kp=\"3\"} ");
  ASSERT_NE(stamp, std::string::npos) << text;
  const double seconds = std::stod(text.substr(text.find("} ", stamp) + 2));
  EXPECT_GT(seconds, start);
  EXPECT_LT(seconds, start + 5);
}

TEST(MetricsText, EscapesLabelValues) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"}, {"a\"b", "a\\\"b"}, {"a\\b", "a\\\\b"}, {"a\nb", "a\\nb"}, {"КП", "КП"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(EscapeLabelValue(in), out) << in;
}

TEST(MetricsAddress, ParsesAddressAndPort) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  };
  const Case cases[] = {{":9464", true, "127.0.0.1", 9464}, {"0.0.0.0:80", true, "0.0.0.0", 80},
                        {"[::1]:9464", true, "::1", 9464},  {"9464", false, "", 0},
                        {"host:9464", false, "", 0},        {":0", false, "", 0},
                        {":65536", false, "", 0},           {":94a", false, "", 0},
                        {"1.2.3.4:", false, "", 0}};
  for (const Case& c : cases) {
    TMetricsAddress address;
    std::string error;
    EXPECT_EQ(ParseMetricsAddress(c.text, address, error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(address.Host, c.host);
      EXPECT_EQ(address.Port, c.port);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

// Sends `request` raw and returns the whole answer.
std::string Exchange(int port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  }
  close(fd);
  return answer;
}

TEST(MetricsServer, ServesMetricsOnlyAndRefusesWhatIsNoRequest) {
  LineRig rig{k1200, "server.ini"};
  TMetricsAddress address;
  std::string error;
  auto server = TMetricsServer::Start(address, "line1", error);
  ASSERT_NE(server, nullptr) << error;
  ASSERT_GT(server->Port(), 0);
  rig.monitor.BtStartStopClick(true);
  server->Publish(rig.monitor);

  const std::string ok =
      Exchange(server->Port(), "GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(ok.rfind("HTTP/1.1 200", 0), 0u) << ok;
  EXPECT_NE(ok.find("sorvex_receiving{line=\"line1\"} 1\n"), std::string::npos) << ok;
  const std::string other =
      Exchange(server->Port(), "GET /other HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(other.rfind("HTTP/1.1 404", 0), 0u) << other;
  const std::string garbage = Exchange(server->Port(), "\x01\x02 nonsense\r\n\r\n");
  EXPECT_EQ(garbage.rfind("HTTP/1.1 400", 0), 0u) << garbage;
  // The server goes on after them.
  EXPECT_EQ(Exchange(server->Port(), "GET /metrics HTTP/1.0\r\n\r\n").rfind("HTTP/1.", 0), 0u);

  // A port taken: a clear message, nothing half started.
  address.Port = server->Port();
  EXPECT_EQ(TMetricsServer::Start(address, "line1", error), nullptr);
  EXPECT_EQ(error.rfind("cannot serve metrics on 127.0.0.1:" + std::to_string(address.Port), 0), 0u)
      << error;
}

}  // namespace
}  // namespace sorvex
