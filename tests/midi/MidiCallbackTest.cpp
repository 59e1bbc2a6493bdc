#include "MidiCallback.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "CircBuf.h"
#include "MidiType.h"
#include "MidiWindow.h"

namespace {

struct Notice {
  uint32_t msg;
  uintptr_t wParam;
  uintptr_t lParam;
  bool operator==(const Notice&) const = default;
};

// A control record with a ring buffer and a window that records its notices.
class CallbackTest : public ::testing::Test {
 protected:
  CallbackTest()
      : window_(
            [this](uint32_t msg, uintptr_t w, uintptr_t l) {
              notices_.push_back({msg, w, l});
              return intptr_t{0};
            },
            nullptr, {MIM_DATA, WM_USER}) {
    info_ = TMidiCtlInfo::Allocate();
    info_->hWindow = &window_;
  }
  ~CallbackTest() override {
    FreeCircularBuffer(info_->PBuffer);
    TMidiCtlInfo::Free(info_);
  }

  void WithBuffer(uint16_t capacity) { info_->PBuffer = CreateCircularBuffer(capacity); }

  // Runs the callback on a thread of its own, as a driver does.
  void Call(uint32_t msg, uintptr_t param1, uintptr_t param2 = 0) {
    std::thread driver(MidiDriverCallback, HMIDI{1}, msg, reinterpret_cast<uintptr_t>(info_),
                       param1, param2);
    driver.join();
  }

  std::vector<Notice> TakeNotices() {
    window_.DeliverPending();
    return std::exchange(notices_, {});
  }

  std::vector<TMidiBufferItem> Queued() {
    std::vector<TMidiBufferItem> items;
    TMidiBufferItem item;
    while (info_->PBuffer && PeekBufferItem(info_->PBuffer, item)) {
      items.push_back(item);
      (void)RemoveBufferItem(info_->PBuffer);
    }
    return items;
  }

  TMidiWindow window_;
  TMidiCtlInfo* info_ = nullptr;
  std::vector<Notice> notices_;
};

const Notice kStored{MIM_DATA, 0, 0};
const Notice kLost{WM_USER, 0, 0};

}  // namespace

struct FilterCase {
  const char* name;
  bool filterMTC, filterAS, sysexOnly;
  uint32_t msg;
  uintptr_t param1;
  bool queued;
};

// Names the case in test listings.
void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class CallbackFilter : public CallbackTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(CallbackFilter, QueuesOrDropsAsTheRecordSays) {
  const FilterCase& c = GetParam();
  WithBuffer(4);
  info_->FilterMTC = c.filterMTC;
  info_->FilterAS = c.filterAS;
  info_->SysexOnly = c.sysexOnly;
  Call(c.msg, c.param1, 1234);
  const auto items = Queued();
  const auto notices = TakeNotices();
  if (!c.queued) {
    EXPECT_TRUE(items.empty());
    EXPECT_TRUE(notices.empty());
    return;
  }
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].timestamp, 1234u);
  if (c.msg == MIM_DATA) {
    EXPECT_EQ(items[0].data, c.param1);
    EXPECT_EQ(items[0].sysex, nullptr);
  } else {
    EXPECT_EQ(items[0].data, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(items[0].sysex), c.param1);
  }
  EXPECT_EQ(notices, std::vector<Notice>{kStored});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallbackFilter,
    ::testing::Values(
        FilterCase{"LoneClockDroppedWithFilterMTC", true, false, false, MIM_DATA, 0xF8, false},
        FilterCase{"LoneClockPassesWithoutFilterMTC", false, true, false, MIM_DATA, 0xF8, true},
        FilterCase{"QuarterFramePassesWithFilterMTC", true, true, false, MIM_DATA, 0x20F1, true},
        FilterCase{"ClockWithDataBytesIsNotALoneClock", true, false, false, MIM_DATA, 0x01F8,
                   true},
        FilterCase{"LoneSensingDroppedWithFilterAS", false, true, false, MIM_DATA, 0xFE, false},
        FilterCase{"LoneSensingPassesWithoutFilterAS", true, false, false, MIM_DATA, 0xFE, true},
        FilterCase{"NoteOnPassesEveryFilter", true, true, false, MIM_DATA, 0x403C90, true},
        FilterCase{"ShortDroppedWhenSysexOnly", false, false, true, MIM_DATA, 0x403C90, false},
        FilterCase{"SysexKeptWhenSysexOnly", false, false, true, MIM_LONGDATA, 0x5000, true},
        FilterCase{"LongErrorQueuedLikeSysex", false, false, true, MIM_LONGERROR, 0x6000, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallbackTest, WithoutARingBufferInputIsIgnored) {
  Call(MIM_DATA, 0x403C90);
  Call(MIM_LONGDATA, 0x5000);
  EXPECT_TRUE(TakeNotices().empty());
}

TEST_F(CallbackTest, AFullBufferPostsTheOverflowNoticeInsteadOfTheDataNotice) {
  WithBuffer(2);
  for (uint32_t n = 0; n < 4; ++n) Call(MIM_DATA, 0x90 + 256 * n);
  EXPECT_EQ(TakeNotices(), (std::vector<Notice>{kStored, kLost}));
  EXPECT_EQ(info_->LostCount.load(), 2u);
  const auto items = Queued();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].data, 0x90u);
  EXPECT_EQ(items[1].data, 0x190u);
}

TEST_F(CallbackTest, ALossInTheDriversQueueCountsLikeAFullBuffer) {
  WithBuffer(8);
  Call(MIM_OVERFLOW, 37);
  EXPECT_EQ(TakeNotices(), std::vector<Notice>{kLost});
  EXPECT_EQ(info_->LostCount.load(), 37u) << "as many as the driver said";
  EXPECT_FALSE(info_->LossUncounted.load());
  Call(MIM_OVERFLOW, 0);
  EXPECT_EQ(info_->LostCount.load(), 38u) << "one at least when it does not say";
  EXPECT_TRUE(info_->LossUncounted.load());
  EXPECT_TRUE(Queued().empty()) << "nothing is stored";
}

TEST_F(CallbackTest, OneNoticeStandsForEveryMessageUntilTheWindowHasHandledIt) {
  WithBuffer(64);
  for (uint32_t n = 0; n < 50; ++n) Call(MIM_DATA, 0x90 + 256 * n);
  EXPECT_EQ(TakeNotices(), std::vector<Notice>{kStored});
  EXPECT_EQ(Queued().size(), 50u);
  // Handled: the next message posts again.
  Call(MIM_DATA, 0x80);
  Call(MIM_DATA, 0x81);
  EXPECT_EQ(TakeNotices(), std::vector<Notice>{kStored});
}

TEST_F(CallbackTest, LostSysexHeadersAreKeptForThePortInTheOrderLost) {
  WithBuffer(1);
  MIDIHDR first{};
  MIDIHDR second{};
  Call(MIM_DATA, 0x90);
  Call(MIM_LONGDATA, reinterpret_cast<uintptr_t>(&first));
  Call(MIM_DATA, 0x91);
  Call(MIM_LONGERROR, reinterpret_cast<uintptr_t>(&second));
  EXPECT_EQ(TakeNotices(), (std::vector<Notice>{kStored, kLost}));
  EXPECT_EQ(info_->LostCount.load(), 3u);
  EXPECT_EQ(info_->TakeLostHeader(), &first);
  EXPECT_EQ(info_->TakeLostHeader(), &second);
  EXPECT_EQ(info_->TakeLostHeader(), nullptr);
}

TEST_F(CallbackTest, LostHeadersBeyondTheirRingStayOut) {
  WithBuffer(1);
  Call(MIM_DATA, 0x90);
  ASSERT_EQ(TMidiCtlInfo::kLostHeaderSlots, 64u);
  std::vector<MIDIHDR> headers(65);
  for (MIDIHDR& hdr : headers) Call(MIM_LONGDATA, reinterpret_cast<uintptr_t>(&hdr));
  EXPECT_EQ(info_->LostCount.load(), 65u);
  for (size_t i = 0; i < 64; ++i) EXPECT_EQ(info_->TakeLostHeader(), &headers[i]);
  EXPECT_EQ(info_->TakeLostHeader(), nullptr);
}

TEST_F(CallbackTest, StoredItemsCarryTheSteadyClockInMicroseconds) {
  WithBuffer(2);
  const auto micros = [] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  };
  const uint64_t before = micros();
  Call(MIM_DATA, 0x403C90, 1500);
  const uint64_t after = micros();
  const auto items = Queued();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].timestamp, 1500u);
  EXPECT_GE(items[0].timeUs, before);
  EXPECT_LE(items[0].timeUs, after);
}

TEST_F(CallbackTest, DoneIsPostedWithTheHeaderEvenWithoutABuffer) {
  MIDIHDR hdr{};
  Call(MOM_DONE, reinterpret_cast<uintptr_t>(&hdr));
  EXPECT_EQ(TakeNotices(),
            (std::vector<Notice>{{MOM_DONE, 0, reinterpret_cast<uintptr_t>(&hdr)}}));
}

TEST_F(CallbackTest, OtherMessagesAreIgnored) {
  WithBuffer(2);
  for (uint32_t msg : {0x3C1u, 0x3C2u, 0x3C5u, 0x3C7u, 0x3C8u, 0x3CAu}) Call(msg, 0x90);
  EXPECT_TRUE(TakeNotices().empty());
  EXPECT_TRUE(Queued().empty());
}

TEST_F(CallbackTest, NoticesArriveInPostingOrder) {
  WithBuffer(1);
  MIDIHDR hdr{};
  Call(MIM_DATA, 0x90);
  Call(MIM_DATA, 0x91);
  Call(MOM_DONE, reinterpret_cast<uintptr_t>(&hdr));
  EXPECT_EQ(TakeNotices(),
            (std::vector<Notice>{kStored, kLost, {MOM_DONE, 0, reinterpret_cast<uintptr_t>(&hdr)}}));
}

// The driver's thread stores in bursts while the window drains on each
// notice, as during a flood: every message is drained once, in order, or
// counted as lost, and none waits without a notice on its way (the window
// looks at the ring only when a notice comes, so a missed wake-up would leave
// the last messages waiting for good). With a hold, the window also sets the
// mark again itself after a big drain and drains when the hold ends.
class CallbackThreads : public ::testing::TestWithParam<int> {};

TEST_P(CallbackThreads, EveryMessageIsDrainedOrCountedLostAndNoneWaitsWithoutANotice) {
  constexpr uint32_t kMessages = 50000;
  TMidiCtlInfo* info = TMidiCtlInfo::Allocate();
  ASSERT_NE(info, nullptr);
  info->PBuffer = CreateCircularBuffer(256);
  ASSERT_NE(info->PBuffer, nullptr);
  std::vector<uint32_t> received;
  received.reserve(kMessages);
  uint64_t lost = 0;
  uint64_t notices = 0;
  TMidiWindow window(
      [&](uint32_t msg, uintptr_t, uintptr_t) {
        ++notices;
        size_t drained = 0;
        if (msg == MIM_DATA) {
          TMidiBufferItem item;
          while (PeekBufferItem(info->PBuffer, item)) {
            received.push_back(item.data >> 8);
            (void)RemoveBufferItem(info->PBuffer);
            ++drained;
          }
        } else if (msg == WM_USER) {
          lost += info->LostCount.exchange(0);
        }
        return intptr_t{drained >= 16 ? 1 : 0};
      },
      nullptr, {MIM_DATA, WM_USER});
  window.SetHold(MIM_DATA, GetParam());
  info->hWindow = &window;

  std::thread driver([info] {
    for (uint32_t n = 0; n < kMessages; ++n) {
      // Mostly within the ring's room, so that the window empties it often
      // and the edge from empty to not empty comes many times.
      if ((n * 7919u) % 53 == 0) {
        while (info->PBuffer->EventCount() > 192) std::this_thread::yield();
      }
      MidiDriverCallback(HMIDI{1}, MIM_DATA, reinterpret_cast<uintptr_t>(info), 0x90 + 256u * n, n);
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (received.size() + lost < kMessages && std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  driver.join();
  QCoreApplication::processEvents();

  EXPECT_EQ(received.size() + lost, kMessages);
  EXPECT_TRUE(std::is_sorted(received.begin(), received.end()));
  EXPECT_EQ(std::adjacent_find(received.begin(), received.end()), received.end());
  EXPECT_LT(notices, kMessages);
  FreeCircularBuffer(info->PBuffer);
  TMidiCtlInfo::Free(info);
}

INSTANTIATE_TEST_SUITE_P(Hold, CallbackThreads, ::testing::Values(0, 2),
                         [](const auto& info) { return "HoldMs" + std::to_string(info.param); });

struct HexCase {
  const char* name;
  std::vector<uint8_t> bytes;
  uint16_t count;
  std::string text;
};

void PrintTo(const HexCase& c, std::ostream* os) { *os << c.name; }

class SysexToHexTextCase : public ::testing::TestWithParam<HexCase> {};

TEST_P(SysexToHexTextCase, RendersThatManyBytesInUpperCaseHexEachFollowedByABlank) {
  const HexCase& c = GetParam();
  std::string text = "previous";
  SysexToHexText(c.bytes.data(), c.count, text);
  EXPECT_EQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    SysexToHexText, SysexToHexTextCase,
    ::testing::Values(HexCase{"WholeMessage", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, 6, "F0 7E 7F 06 01 F7 "},
                      HexCase{"OddLengthShowsItsLastByte", {0xF0, 0x0A, 0xB0, 0x01, 0x02, 0x03, 0xF7}, 7,
                              "F0 0A B0 01 02 03 F7 "},
                      HexCase{"NoBytes", {0xF0, 0xF7}, 0, ""},
                      HexCase{"FewerThanHeld", {0xF0, 0x01, 0x02, 0x03, 0xF7}, 2, "F0 01 "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SysexToHexText, ShowsAtMost500Bytes) {
  std::vector<uint8_t> bytes(600, 0x55);
  bytes[0] = 0xF0;
  bytes[498] = 0xAA;
  bytes[499] = 0xBB;
  bytes[500] = 0xCC;  // the first byte past the cap
  std::string text;
  SysexToHexText(bytes.data(), 600, text);
  ASSERT_EQ(text.size(), 1500u);  // 500 bytes of three characters
  EXPECT_EQ(text.substr(0, 9), "F0 55 55 ");
  EXPECT_EQ(text.substr(1491), "55 AA BB ");
  EXPECT_EQ(text.find("CC"), std::string::npos);
}
