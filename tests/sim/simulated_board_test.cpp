#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sim_fixture.h"

namespace vx::sim {
namespace {

using testing::ManualClock;
using testing::OpenBoard;
using testing::ScratchDir;

struct OpenCase {
  const char* model;
  int link;
  LinkArg arg;
  int node;
  std::uint32_t base;
  int expected;
};

TEST(SimulatedBoardTest, OpensOnlyOverLinksTheModelCanHave) {
  const OpenCase cases[] = {
      {"DT5743", kLinkUsb, 0u, 0, 0, kDgtzSuccess},
      {"DT5743", kLinkOptical, 2u, 3, 0, kDgtzSuccess},
      {"DT5743", kLinkUsbA4818, 1234u, 0, 0, kDgtzSuccess},
      {"DT5743", kLinkEthV4718, std::string("192.168.0.10"), 0, 0, kDgtzInvalidLinkType},
      {"DT5743", kLinkUsbV4718, 55u, 0, 0, kDgtzInvalidLinkType},
      {"DT5743", kLinkUsb, 0u, 0, 0x32100000, kDgtzBoardNotFound},
      {"DT5743", 3, 0u, 0, 0, kDgtzInvalidLinkType},
      {"V1743", kLinkOptical, 0u, 0, 0, kDgtzSuccess},
      {"V1743", kLinkOptical, 0u, 0, 0x32100000, kDgtzSuccess},
      {"V1743", kLinkUsb, 0u, 0, 0x32100000, kDgtzSuccess},
      {"V1743", kLinkUsb, 0u, 0, 0, kDgtzBoardNotFound},
      {"V1743", kLinkEthV4718, std::string("10.0.0.7"), 0, 0x32100000, kDgtzSuccess},
      {"V1743", kLinkEthV4718, std::string("10.0.0.700"), 0, 0x32100000, kDgtzInvalidParam},
      {"V1743", kLinkEthV4718, 7u, 0, 0x32100000, kDgtzInvalidParam},
      {"V1743", kLinkUsbV4718, 4321u, 0, 0x32100000, kDgtzSuccess},
      {"V1743", kLinkUsbV4718, 4321u, 0, 0x32110000, kDgtzBoardNotFound},
      {"V1743", kLinkUsbA4818, std::string("x"), 0, 0x32100000, kDgtzInvalidParam},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    SimulatedBoard board(testing::config_from(std::string("model = ") + c.model), dir.path(),
                         std::make_shared<ManualClock>());
    int handle = 99;
    const int rc = board.OpenDigitizer2(c.link, c.arg, c.node, c.base, &handle);
    EXPECT_EQ(rc, c.expected) << c.model << " link " << c.link << " base " << c.base;
    EXPECT_EQ(handle >= 0, rc == kDgtzSuccess);
    // Nothing else answers without an open board.
    std::uint32_t v = 0;
    EXPECT_EQ(board.ReadRegister(handle, 0x8124, &v) == 0, rc == kDgtzSuccess);
  }
}

TEST(SimulatedBoardTest, SecondOpenAndSecondCloseAreRefused) {
  OpenBoard b("");
  int other = -1;
  EXPECT_EQ(b.board->OpenDigitizer2(kLinkOptical, 0u, 0, 0, &other), kDgtzAlreadyOpen);
  EXPECT_EQ(b.board->CloseDigitizer(b.handle), 0);
  EXPECT_EQ(b.board->CloseDigitizer(b.handle), kDgtzInvalidHandle);
}

TEST(SimulatedBoardTest, BoardInformationDescribesTheModel) {
  for (const auto& [model, blocks] : {std::pair{"DT5743", 4u}, std::pair{"V1743", 8u}}) {
    OpenBoard b(std::string("model = ") + model + "\npcb_revision = 3\n");
    BoardInfo info{};
    ASSERT_EQ(b.board->GetInfo(b.handle, &info), 0);
    EXPECT_STREQ(info.ModelName, model);
    EXPECT_EQ(info.Channels, blocks);
    EXPECT_EQ(info.PCB_Revision, 3u);
    EXPECT_EQ(info.SAMCorrectionDataLoaded, 1u);
  }
}

TEST(SimulatedBoardTest, RegistersReadBackAndFirmwareWordsAreFixed) {
  OpenBoard b("model = DT5743");
  struct Case {
    std::uint32_t address;
    std::uint32_t write;
    std::uint32_t expect;
  };
  const Case cases[] = {
      {0x8100, 0x1207, 0x1207},         {0x1384, 0x2003, 0x2003}, {0x1328, 0x27, 0x27},
      {0x8124, 0xFFFF, 0x0416},         {0x108C, 0, 0x00100308},  {0x138C, 0, 0x00100308},
      {0x9000, 0xDEADBEEF, 0xDEADBEEF},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(b.board->WriteRegister(b.handle, c.address, c.write), 0);
    std::uint32_t v = 0;
    ASSERT_EQ(b.board->ReadRegister(b.handle, c.address, &v), 0);
    EXPECT_EQ(v, c.expect) << std::hex << c.address;
  }
  std::uint32_t v = 0;
  EXPECT_EQ(b.board->ReadRegister(b.handle, 0x10000, &v), kDgtzInvalidParam);
}

// Event identifiers count in eight bits and first cells vary; the time stamp counts sixteen
// sampling periods from the start and wraps at forty bits.
TEST(SimulatedBoardTest, TimeStampCountsSixteenPeriodsAndWrapsAtFortyBits) {
  OpenBoard b("input = none\nregister_access_us = 0");
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  std::vector<int> ids;
  std::vector<int> cells;
  for (int i = 0; i < 300; ++i) {
    const Event743& e = b.software_event();
    ids.push_back(e.DataGroup[3].EventId);
    cells.push_back(e.DataGroup[3].StartIndexCell);
    ASSERT_LT(e.DataGroup[3].StartIndexCell, 1024);
  }
  EXPECT_EQ(ids[0], 0);
  EXPECT_EQ(ids[255], 255);
  EXPECT_EQ(ids[256], 0);
  std::sort(cells.begin(), cells.end());
  EXPECT_GT(std::unique(cells.begin(), cells.end()) - cells.begin(), 200);

  b.clock->advance(1e-3);
  const std::uint64_t first = b.software_event().DataGroup[0].TDC;
  EXPECT_NEAR(static_cast<double>(first), 1e-3 / (16 * 312.5e-12), 2.0);  // 200000

  // At 400 MS/s one tick is 40 ns.
  ASSERT_EQ(b.board->SetSAMSamplingFrequency(b.handle, 3), 0);
  b.clock->advance(1e-3);
  EXPECT_NEAR(static_cast<double>(b.software_event().DataGroup[0].TDC), 2e-3 / 40e-9, 2.0);
  ASSERT_EQ(b.board->SetSAMSamplingFrequency(b.handle, 0), 0);

  const double wrap_seconds = std::ldexp(1.0, 40) * 16 * 312.5e-12;
  b.clock->advance(wrap_seconds - 2e-3 - 1e-6);
  const std::uint64_t before = b.software_event().DataGroup[0].TDC;
  b.clock->advance(2e-6);
  const Event743& after = b.software_event();
  EXPECT_GT(before, (1ull << 40) - 1000);
  EXPECT_LT(after.DataGroup[0].TDC, 1000u);
  EXPECT_EQ(after.DataGroup[7].TDC, after.DataGroup[0].TDC);
}

TEST(SimulatedBoardTest, RecordLengthAndGroupMaskShapeTheEvent) {
  OpenBoard b("input = none\nregister_access_us = 0");
  EXPECT_EQ(b.board->SetRecordLength(b.handle, 100), kDgtzInvalidParam);
  EXPECT_EQ(b.board->SetRecordLength(b.handle, 0), kDgtzInvalidParam);
  ASSERT_EQ(b.board->SetRecordLength(b.handle, 256), 0);
  ASSERT_EQ(b.board->SetGroupEnableMask(b.handle, 0x05), 0);
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  const Event743& e = b.software_event();
  for (int g = 0; g < 8; ++g) {
    EXPECT_EQ(e.DataGroup[g].GrPresent, (g == 0 || g == 2) ? 1 : 0) << g;
  }
  EXPECT_EQ(e.DataGroup[2].ChSize, 256u);
}

TEST(SimulatedBoardTest, ReadoutHonoursTheBlockTransferLimitAndBoardMemory) {
  OpenBoard b(
      "input = none\nregister_access_us = 0\ntrigger_rate_hz = 1e6\nmemory_events = 50\n"
      "dead_time_us = 125\n");
  ASSERT_EQ(b.board->SetMaxNumEventsBLT(b.handle, 7), 0);  // buffer stays as allocated (100)
  ASSERT_EQ(b.board->SetExtTriggerInputMode(b.handle, kTrgModeAcqOnly), 0);
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  const auto drain = [&b] {
    int total = 0;
    for (int n = b.read_events([](const Event743&) {}); n > 0;
         n = b.read_events([](const Event743&) {})) {
      EXPECT_LE(n, 7);
      total += n;
    }
    return total;
  };
  b.clock->advance(2e-3);
  ASSERT_EQ(b.board->SWStopAcquisition(b.handle), 0);
  // 2 ms over a 125 us dead time: at most 16 events, about that many with a 1 MHz stream.
  const int short_run = drain();
  EXPECT_GE(short_run, 12);
  EXPECT_LE(short_run, 16);

  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  b.clock->advance(1.0);  // far more than the memory holds
  ASSERT_EQ(b.board->SWStopAcquisition(b.handle), 0);
  EXPECT_EQ(drain(), 50);
}

TEST(SimulatedBoardTest, EmptyReadWaitsAboutAMillisecondOnlyWhileAcquiring) {
  OpenBoard b("input = none");
  double t0 = b.clock->now();
  ASSERT_EQ(b.board->ReadData(b.handle, 0, &b.buffer), 0);
  EXPECT_EQ(b.buffer.filled, 0u);
  EXPECT_DOUBLE_EQ(b.clock->now(), t0);
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  t0 = b.clock->now();
  ASSERT_EQ(b.board->ReadData(b.handle, 0, &b.buffer), 0);
  EXPECT_EQ(b.buffer.filled, 0u);
  EXPECT_NEAR(b.clock->now() - t0, 1e-3, 1e-9);
  char memory[64];
  ReadoutBuffer foreign{memory, sizeof memory, 0};
  EXPECT_EQ(b.board->ReadData(b.handle, 0, &foreign), kDgtzInvalidBuffer);
}

TEST(SimulatedBoardTest, SingleShotArmingTakesOneEventPerArm) {
  OpenBoard b("input = none\nregister_access_us = 0");
  ASSERT_EQ(b.board->WriteRegister(b.handle, 0x8070, 0x09), 0);  // bit 2 clear
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  ASSERT_EQ(b.board->SendSWtrigger(b.handle), 0);
  ASSERT_EQ(b.board->SendSWtrigger(b.handle), 0);
  EXPECT_EQ(b.read_events([](const Event743&) {}), 1);
  ASSERT_EQ(b.board->WriteRegister(b.handle, 0x8018, 1), 0);
  ASSERT_EQ(b.board->SendSWtrigger(b.handle), 0);
  EXPECT_EQ(b.read_events([](const Event743&) {}), 1);
}

TEST(SimulatedBoardTest, EachInjectedFaultHitsExactlyTheNamedOperation) {
  {
    OpenBoard b("fault.fail_register_access = 3");
    std::uint32_t v = 0;
    std::vector<int> results;
    for (int i = 0; i < 5; ++i) results.push_back(b.board->ReadRegister(b.handle, 0x8124, &v));
    EXPECT_EQ(results, (std::vector<int>{0, 0, kDgtzCommError, 0, 0}));
  }
  {
    OpenBoard b("fault.fail_readout = 2\ninput = none");
    std::vector<int> results;
    for (int i = 0; i < 3; ++i) results.push_back(b.board->ReadData(b.handle, 0, &b.buffer));
    EXPECT_EQ(results, (std::vector<int>{0, kDgtzCommError, 0}));
  }
  {
    OpenBoard b("fault.undecodable_event = 3\ninput = none\nregister_access_us = 0");
    ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(b.board->SendSWtrigger(b.handle), 0);
    ASSERT_EQ(b.board->ReadData(b.handle, 0, &b.buffer), 0);
    std::uint32_t n = 0;
    ASSERT_EQ(b.board->GetNumEvents(b.handle, b.buffer, &n), 0);
    ASSERT_EQ(n, 4u);
    std::vector<int> results;
    for (std::uint32_t i = 0; i < n; ++i) {
      EventInfo info;
      const char* p = nullptr;
      ASSERT_EQ(b.board->GetEventInfo(b.handle, b.buffer, static_cast<int>(i), &info, &p), 0);
      results.push_back(b.board->DecodeEvent(b.handle, p, &b.event));
    }
    EXPECT_EQ(results, (std::vector<int>{0, 0, kDgtzInvalidEvent, 0}));
  }
}

TEST(SimulatedBoardTest, SameSeedGivesTheSameEventsAndAnotherSeedDoesNot) {
  const auto run = [](const char* seed) {
    OpenBoard b(std::string("seed = ") + seed +
                "\nregister_access_us = 0\ntrigger_rate_hz = 20000\nnoise_mv = 2\n"
                "pulse.jitter_ps = 50\n");
    EXPECT_EQ(b.board->SetExtTriggerInputMode(b.handle, kTrgModeAcqOnly), 0);
    EXPECT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    b.clock->advance(5e-3);
    EXPECT_EQ(b.board->ReadData(b.handle, 0, &b.buffer), 0);
    return std::vector<char>(b.buffer.data, b.buffer.data + b.buffer.filled);
  };
  const auto a = run("7");
  EXPECT_GT(a.size(), 1000u);
  EXPECT_EQ(a, run("7"));
  EXPECT_NE(a, run("8"));
}

TEST(SimulatedBoardTest, ReadoutThreadAndControlThreadShareTheBoardWithoutLosingEvents) {
  testing::OpenBoard b("input = none\nregister_access_us = 0\nmemory_events = 100000");
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  constexpr int kTriggers = 300;
  std::atomic<bool> control_done{false};
  std::thread control([&] {
    unsigned char byte = 0;
    for (int i = 0; i < kTriggers; ++i) {
      EXPECT_EQ(b.board->SendSWtrigger(b.handle), 0);
      EXPECT_EQ(b.board->SetChannelTriggerThreshold(b.handle, i % 16, 1000u + i), 0);
      EXPECT_EQ(b.board->WriteRegister(b.handle, 0x8020, 1), 0);
      EXPECT_EQ(b.board->Read_EEPROM(b.handle, i % 4, 0x37, 1, &byte), 0);
    }
    control_done = true;
  });
  int read = 0;
  for (;;) {
    // Seen before the read: once the control thread is done, an empty read means all is read.
    const bool done = control_done;
    const int n =
        b.read_events([](const Event743& ev) { EXPECT_EQ(ev.DataGroup[0].GrPresent, 1); });
    EXPECT_GE(n, 0);
    if (n < 0 || (done && n == 0)) break;
    read += n;
  }
  control.join();
  EXPECT_EQ(read, kTriggers);
}

}  // namespace
}  // namespace vx::sim
