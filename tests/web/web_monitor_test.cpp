// The web monitor over real connections: what it answers and refuses, its limits, its token,
// and a run on the simulated board seen through it while clients keep asking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "acquisition/run_control.h"
#include "app/dac_conversions.h"
#include "app/parameters.h"
#include "app/record_loan.h"
#include "digitizer/board_connection.h"
#include "digitizer/connection_rules.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "support/tcp_client.h"
#include "web/monitor_server.h"
#include "web/web_monitor.h"

namespace vx {
namespace {

using nlohmann::json;

const std::string kToken = "0123456789abcdef-token";

std::string get(const std::string& path, const std::string& headers = {}) {
  return "GET " + path + " HTTP/1.1\r\nHost: test\r\n" + headers + "\r\n";
}

// The whole answer to one request (the connection then closed by the client).
std::string ask(int port, const std::string& request) {
  test::TcpClient client(port);
  client.send(request);
  if (!client.wait_received("\r\n\r\n", 10.0)) return client.received;
  const std::size_t head = client.received.find("\r\n\r\n") + 4;
  const std::size_t length_at = client.received.find("Content-Length: ");
  if (length_at != std::string::npos && length_at < head && request.rfind("HEAD", 0) != 0) {
    const std::size_t length = std::stoul(client.received.substr(length_at + 16));
    wait_for_flag([&] { return client.received.size() >= head + length || !client.poll(); }, 10.0);
  }
  return client.received;
}

json body_of(const std::string& answer) {
  return json::parse(answer.substr(answer.find("\r\n\r\n") + 4));
}

struct ServerFixture : testing::Test {
  void serve(const std::string& token, MonitorLimits limits = {}) {
    server = std::make_unique<MonitorServer>(feed, core.state.log, core.clock, token, limits);
    std::string error;
    ASSERT_TRUE(server->start("127.0.0.1", 0, error)) << error;
  }
  int refusals_logged() {
    std::ifstream in(core.state.log.file);
    int n = 0;
    for (std::string line; std::getline(in, line);)
      n += line.find("refused a request from 127.0.0.1") != std::string::npos;
    return n;
  }
  test::TestCore core;
  std::shared_ptr<MonitorFeed> feed = std::make_shared<MonitorFeed>();
  std::unique_ptr<MonitorServer> server;
};

TEST_F(ServerFixture, AnswersOnlyReadsAndRefusesWhatItMustNot) {
  serve("");
  struct Case {
    std::string request;
    const char* status;
    const char* holds;  // in the answer
  };
  std::string many_headers;
  for (int i = 0; i < 70; ++i) many_headers += "X-H" + std::to_string(i) + ": v\r\n";
  const Case cases[] = {
      {get("/api/status"), "200", "\"version\":1"},
      {get("/"), "200", "<!DOCTYPE html>"},
      {get("/vendor/uplot/uPlot.iife.min.js"), "200", "uPlot"},
      {"HEAD /api/event HTTP/1.1\r\nHost: t\r\n\r\n", "200", "application/json"},
      {"POST /api/status HTTP/1.1\r\nHost: t\r\nContent-Length: 0\r\n\r\n", "405",
       "Allow: GET, HEAD"},
      {"DELETE / HTTP/1.1\r\nHost: t\r\n\r\n", "405", "Allow: GET, HEAD"},
      {"PUT /api/status HTTP/1.1\r\nHost: t\r\nContent-Length: 2\r\n\r\n{}", "405", ""},
      {get("/../../etc/passwd"), "404", ""},
      {get("http://test/etc/passwd"), "404", ""},
      {get("/" + std::string(9000, 'a')), "414", ""},
      {get("/api/status", many_headers), "431", ""},
      {get("/api/status",
           "X-Big: " + std::string(7000, 'a') + "\r\nX-Big2: " + std::string(2000, 'b') + "\r\n"),
       "431", ""},
      {get("/", "Content-Length: 5000\r\n"), "413", ""},
      {get("/%2e%2e/%2e%2e/etc/passwd"), "404", ""},
      {get("/api/messages?since=x"), "400", ""},
  };
  for (const Case& c : cases) {
    const std::string answer = ask(server->port(), c.request);
    SCOPED_TRACE(c.request.substr(0, 60));
    EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << answer.substr(0, 200);
    EXPECT_NE(answer.find(c.holds), std::string::npos);
    EXPECT_EQ(answer.find("Access-Control"), std::string::npos);
  }
}

TEST_F(ServerFixture, EveryRequestCarriesTheTokenAndRefusalsAreLoggedOnceAMinute) {
  serve(kToken);
  struct Case {
    std::string request;
    const char* status;
    std::vector<std::string> holds = {};  // in the answer
  };
  const std::string wrong(kToken.size(), 'x');
  const Case cases[] = {
      {get("/api/event"), "401"},
      {get("/"), "401"},
      {get("/api/status", "Authorization: Bearer " + wrong + "\r\n"), "401"},
      {get("/?token=" + wrong), "401"},
      {get("/api/event", "Authorization: Bearer " + kToken + "\r\n"), "200", {"12345"}},
      {get("/api/rates", "Cookie: a=b; veltrix_token=" + kToken + "\r\n"), "200"},
      {get("/?token=" + kToken), "303", {"Set-Cookie: veltrix_token=" + kToken, "Location: /\r\n"}},
  };
  EventCopy event;
  event.has_event = true;
  event.event_number = 12345;
  feed->publish_event(event, 1.0);
  for (const Case& c : cases) {
    const std::string answer = ask(server->port(), c.request);
    EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.request;
    for (const std::string& h : c.holds) EXPECT_NE(answer.find(h), std::string::npos) << h;
    // Nothing of the run leaks to a client without the token.
    if (c.status[0] == '4') {
      EXPECT_EQ(answer.find("12345"), std::string::npos) << c.request;
    }
  }
  // Four refusals within the minute told once; one more a minute later told again.
  EXPECT_EQ(refusals_logged(), 1);
  core.clock.advance(61.0);
  ask(server->port(), get("/api/status"));
  EXPECT_EQ(refusals_logged(), 2);
}

TEST_F(ServerFixture, NoClientHoldsItPastItsLimits) {
  MonitorLimits limits;  // 32 viewers
  limits.idle_timeout_s = 3.0;
  limits.request_timeout_s = 1.0;
  serve("", limits);
  // 32 viewers keep their connections; the 33rd gets 503 at once, the others are served.
  std::vector<std::unique_ptr<test::TcpClient>> viewers;
  for (int i = 0; i < limits.max_clients; ++i) {
    viewers.push_back(std::make_unique<test::TcpClient>(server->port()));
    viewers.back()->send(get("/api/status"));
    ASSERT_TRUE(viewers.back()->wait_received("HTTP/1.1 200", 10.0)) << i;
  }
  EXPECT_EQ(ask(server->port(), get("/api/status")).substr(0, 12), "HTTP/1.1 503");
  viewers[5]->received.clear();
  viewers[5]->send(get("/api/event"));
  EXPECT_TRUE(viewers[5]->wait_received("HTTP/1.1 200", 10.0));
  // Viewers that dribble, stop mid-request or send nothing are dropped unanswered, freeing places.
  test::TcpClient& dribbler = *viewers[0];
  const std::size_t answered = dribbler.received.size();
  const std::string request = get("/api/status");
  bool dropped = false;
  for (std::size_t k = 0; k < request.size() && !dropped; ++k) {
    try {
      dribbler.send(request.substr(k, 1));
    } catch (const std::runtime_error&) {
      dropped = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    dropped = dropped || !dribbler.poll();
  }
  EXPECT_TRUE(dropped);
  EXPECT_EQ(dribbler.received.size(), answered);
  viewers[1]->send("GET /api/status HTTP/1.1\r\nHost:");
  for (int i : {1, 2}) EXPECT_TRUE(wait_for_flag([&] { return !viewers[i]->poll(); }, 5.0)) << i;
  bool served = false;
  for (int i = 0; i < 50 && !served; ++i) {
    served = ask(server->port(), get("/api/status")).rfind("HTTP/1.1 200", 0) == 0;
    if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(served);
}

TEST(WebOptions, AddressesAndTokenFilesAreCheckedBeforeAnythingIsServed) {
  struct Address {
    const char* text;
    const char* address;  // null: refused
    int port;
  };
  const Address addresses[] = {{"8080", "127.0.0.1", 8080}, {"0.0.0.0:80", "0.0.0.0", 80},
                               {"[::1]:0", "::1", 0},       {"daq.example:80", nullptr, 0},
                               {"99999", nullptr, 0},       {":80", nullptr, 0},
                               {"127.0.0.1:", nullptr, 0}};
  for (const Address& a : addresses) {
    WebOptions options;
    std::string error;
    const bool ok = Parse_WebAddress(a.text, options, error);
    EXPECT_EQ(ok, a.address != nullptr) << a.text;
    if (ok)
      EXPECT_EQ(std::make_pair(options.address, options.port),
                std::make_pair(std::string(a.address), a.port));
    else
      EXPECT_FALSE(error.empty());
  }

  test::TempDir dir;
  struct TokenFile {
    const char* content;
    mode_t mode;
    bool accepted;
  };
  const TokenFile files[] = {
      {"0123456789abcdef\n", 0600, true},        {"0123456789abcdef\n", 0640, false},
      {"0123456789abcdef\n", 0604, false},       {"short\n", 0600, false},
      {"with a space inside it\n", 0600, false}, {"semicolon;breaks-a-cookie\n", 0600, false}};
  for (const TokenFile& f : files) {
    const std::string path = (dir.path() / "token").string();
    std::remove(path.c_str());
    std::ofstream(path) << f.content;
    ::chmod(path.c_str(), f.mode);
    std::string error;
    EXPECT_EQ(!Read_WebToken(path, error).empty(), f.accepted) << f.content << " " << f.mode;
  }
  std::string error;
  EXPECT_TRUE(Read_WebToken((dir.path() / "missing").string(), error).empty());

  // Any address but this machine's wants a token file.
  test::TestCore core;
  WebMonitor monitor(core.state);
  WebOptions options;
  options.address = "0.0.0.0";
  EXPECT_FALSE(monitor.start(options, error));
  EXPECT_NE(error.find("--web-token-file"), std::string::npos);
  EXPECT_FALSE(monitor.serving());
}

TEST(MonitorFeed, EventsAreCopiedAtItsPaceAndRecordsKeepEveryPeak) {
  MonitorFeed feed;
  const std::pair<double, bool> due[] = {{10.0, true},  {10.1, false}, {10.2, false},
                                         {10.25, true}, {10.3, false}, {11.0, true}};
  for (const auto& [t, expected] : due) EXPECT_EQ(feed.event_due(t, 0.25), expected) << t;

  // A record longer than the points sent: each bin keeps its extremes, a one-sample pulse
  // included; a record short enough is sent as it is.
  std::vector<float> samples(1000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 7);
  samples[503] = -500.0f;
  std::vector<float> min, max;
  Decimate_Record(samples.data(), 1000, 7, 2.0, min, max);
  ASSERT_EQ(min.size(), 7u);
  EXPECT_EQ(*std::min_element(min.begin(), min.end()), -1000.0f);
  EXPECT_EQ(std::count(min.begin(), min.end(), -1000.0f), 1);
  EXPECT_EQ(*std::max_element(max.begin(), max.end()), 12.0f);
  Decimate_Record(samples.data(), 1000, 2048, 1.0, min, max);
  EXPECT_EQ(min, samples);
  EXPECT_EQ(max, samples);
}

// A saving run seen while clients come and go, send garbage and ask: every event saved, the
// answers the run's own; publishers and servers meet only in the feed (for the thread sanitizer).
TEST(WebMonitorRun, AnswersAreTheRunsOwnWhileClientsComeAndGo) {
  sim::SimConfig slow;
  slow.trigger_rate_hz = 100.0;  // a run long enough for the clients, in files of a few MB
  test::SimCore sim("DT5743", slow);
  State& st = sim.st;
  WebMonitor monitor(st);
  WebOptions options;
  std::string error;
  ASSERT_TRUE(monitor.start(options, error)) << error;
  const int port = std::stoi(monitor.url().substr(monitor.url().rfind(':') + 1));
  // Status copies go on from the copy shown while a worker, then the connection, holds and
  // writes the records (the thread sanitizer sees any read of the records themselves).
  std::atomic<bool> release{false};
  Lend_Records(st, [&] {
    while (!release.load()) Init_Params(st);
  });
  sim.core.ui.loop.run_until([] { return false; }, 1.0);
  release = true;
  sim.core.ui.loop.run_until([&] { return !Records_Lent(st); }, 30.0);
  Connect_Board(st, kModelDesktop);
  sim.core.ui.loop.run_until([&] { return st.Board_Connected.load() == 1 && !Records_Lent(st); },
                             60.0);
  ASSERT_EQ(st.Board_Connected.load(), 1);
  // The board is shown once the records are back (the next status copy).
  EXPECT_TRUE(sim.core.ui.loop.run_until(
      [&] { return body_of(ask(port, get("/api/board")))["model"] == "DT5743"; }, 30.0));
  test::save_runs(st, sim.dir.path() / "RunData", 1, 200);
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.RateMeasurementOn().store(1);

  // Until the clients are done: 1 000 connections, 200 malformed requests and a viewer's.
  Set_RunType(st, st, kRunContinuous, 0);
  const int generation = st.AcquisitionGeneration.load();
  ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
  int answered = 0;
  const std::string garbage[] = {std::string("\0\xff\r\n\r\n", 6), "GET / HTTP/9.9\r\n\r\n",
                                 "GET\r\n\r\n", get("/api/status", "Bad header line\r\n"),
                                 "GET /api/status HTTP/1.1\r\nContent-Length: -5\r\n\r\n"};
  const char* paths[] = {"/api/event", "/api/status", "/api/histograms", "/api/rates"};
  for (int i = 0; i < 1000; ++i) {
    test::TcpClient(port).close();
    if (i % 5 == 0) ask(port, garbage[i / 5 % 5]);
    if (i % 10 == 0) answered += ask(port, get(paths[i / 10 % 4])).rfind("HTTP/1.1 200", 0) == 0;
    if (i % 50 == 0) sim.core.ui.loop.process_pending();
  }
  Stop_AcquisitionFromUser(st);
  ASSERT_TRUE(test::wait_run_end(st, generation, 60.0));
  EXPECT_TRUE(sim.core.ui.loop.run_until(
      [&] {
        const json status = body_of(ask(port, get("/api/status")));
        return status["state"] == "idle" && status["events"] == st.NbOfEventsInRun.load();
      },
      30.0));
  EXPECT_GT(st.NbOfEventsInRun.load(), 0);
  std::int64_t saved = 0;
  for (const ClosedFile& f : st.files.ClosedDataFiles) saved += f.events;
  EXPECT_EQ(saved, st.NbOfEventsInRun.load()) << "every event of the run saved";
  EXPECT_EQ(answered, 100);

  const json rates = body_of(ask(port, get("/api/rates")));
  for (int ch = 0; ch < st.sys.NbOfChannels; ++ch)
    if (st.rates.TriggerRateUnit[ch].load() != 0) {
      EXPECT_FLOAT_EQ(rates["channels"][ch]["rate_hz"].get<float>(),
                      st.rates.RawTriggerRate[ch].load());
    }
  const json histograms = body_of(ask(port, get("/api/histograms")));
  const json& time = histograms["time_difference"];
  ASSERT_TRUE(time["shown"]);
  EXPECT_GT(time["entries"].get<int>(), 0);
  EXPECT_FALSE(time["fit"].is_null()) << "fitted as the run ended";
  for (std::size_t i = 0; i < time["counts"].size(); ++i)
    EXPECT_EQ(time["counts"][i], st.meas.ThresholdCrossingDistri[i]) << i;
  ASSERT_FALSE(histograms["charge"].empty());
  for (const json& h : histograms["charge"]) {
    const int ch = h["channel"];
    for (std::size_t i = 0; i < h["counts"].size(); ++i)
      EXPECT_EQ(h["counts"][i], st.meas.ChargeDataDistri[ch / 2][ch % 2][i]) << ch << " " << i;
  }

  // A one-event run: the event the monitor shows is the run's, sample for sample.
  sim.core.clock.advance(1.0);
  st.acq.SaveDataInFile = 0;
  ASSERT_TRUE(test::run_events(st, 1, 60.0));
  const json event = body_of(ask(port, get("/api/event")));
  ASSERT_EQ(event["channels"].size(), static_cast<std::size_t>(st.sys.NbOfChannels));
  for (const json& ch : event["channels"]) {
    const int c = ch["channel"];
    const auto& samples = st.event.FullyOrderedValues[c / 2][c % 2];
    ASSERT_EQ(ch["min"].size(), static_cast<std::size_t>(st.sys.RecordLength));
    EXPECT_FALSE(ch.contains("max"));
    for (std::size_t i = 0; i < ch["min"].size(); ++i)
      ASSERT_NEAR(ch["min"][i].get<double>(), samples[i] * kVoltsPerAdcCount, 0.5e-4)
          << c << " " << i;
  }
  monitor.stop();
  EXPECT_FALSE(monitor.serving());
}

}  // namespace
}  // namespace vx
