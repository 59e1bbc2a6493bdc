#include "MidiCallback.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

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
            nullptr) {
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
    QCoreApplication::sendPostedEvents(&window_);
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
  EXPECT_EQ(TakeNotices(), (std::vector<Notice>{kStored, kStored, kLost, kLost}));
  const auto items = Queued();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].data, 0x90u);
  EXPECT_EQ(items[1].data, 0x190u);
}

TEST_F(CallbackTest, ALostSysexHeaderGoesWithItsOverflowNotice) {
  WithBuffer(1);
  info_->OpenCount = 7;
  MIDIHDR hdr{};
  Call(MIM_DATA, 0x90);
  Call(MIM_LONGDATA, reinterpret_cast<uintptr_t>(&hdr));
  Call(MIM_LONGERROR, reinterpret_cast<uintptr_t>(&hdr));
  const Notice lostHeader{WM_USER, 7, reinterpret_cast<uintptr_t>(&hdr)};
  EXPECT_EQ(TakeNotices(), (std::vector<Notice>{kStored, lostHeader, lostHeader}));
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
