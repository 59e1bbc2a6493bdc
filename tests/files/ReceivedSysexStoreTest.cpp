// The store of received system-exclusive messages: pieces joined again, only
// whole and valid messages kept, the memory bound, Clear and the saved file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "FileTestSupport.h"
#include "MidiType.h"
#include "ReceivedSysexStore.h"

namespace {

TMyMidiEvent Piece(const Bytes& bytes) {
  TMyMidiEvent event;
  event.MidiMessage = 0xF0;
  event.SetSysex(bytes.data(), static_cast<uint16_t>(bytes.size()));
  return event;
}

TMyMidiEvent Short(uint8_t status, uint8_t d1 = 0, uint8_t d2 = 0) {
  TMyMidiEvent event;
  event.MidiMessage = status;
  event.Data1 = d1;
  event.Data2 = d2;
  return event;
}

QByteArray Raw(const Bytes& bytes) { return Joined({bytes}); }

class ReceivedSysexStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QObject::connect(&store, &ReceivedSysexStore::OldestDropped, [this] { ++told; });
  }
  void Feed(std::initializer_list<Bytes> pieces) {
    for (const Bytes& piece : pieces) store.Feed(Piece(piece));
  }
  ReceivedSysexStore store{1000};
  int told = 0;  // OldestDropped signals
};

TEST_F(ReceivedSysexStoreTest, KeepsWholeMessagesInTheOrderTheyArrivedAndIgnoresShortMessages) {
  Feed({{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}});
  store.Feed(Short(0x90, 0x3C, 0x40));
  store.Feed(Short(0xF8));
  Feed({{0xF0, 0xF7}, {0xF0, 0x41, 0x10, 0xF7}});
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.TotalBytes(), 12);
  EXPECT_EQ(store.Contents(), Raw({0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7, 0xF0, 0xF7, 0xF0, 0x41, 0x10, 0xF7}));
}

TEST_F(ReceivedSysexStoreTest, JoinsTheBufferSizedPiecesOfOneMessageEvenWithClockBytesBetween) {
  Feed({{0xF0, 0x01, 0x02, 0x03}});
  store.Feed(Short(0xF8));  // a timing clock inside the message arrives on its own
  Feed({{0x04, 0x05, 0x06, 0x07}, {0x08, 0xF7}});
  // A piece holding nothing but the F7, when the data filled the buffer before.
  Feed({{0xF0, 0x11, 0x12, 0x13}, {0xF7}});
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(store.Contents(),
            Raw({0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xF7, 0xF0, 0x11, 0x12, 0x13, 0xF7}));
}

struct LeftOutCase {
  const char* name;
  std::vector<Bytes> pieces;
};

class ReceivedSysexLeftOut : public ::testing::TestWithParam<LeftOutCase> {};

TEST_P(ReceivedSysexLeftOut, OnlyTheWholeValidMessageAfterIsKept) {
  ReceivedSysexStore store(1000);
  for (const Bytes& piece : GetParam().pieces) store.Feed(Piece(piece));
  store.Feed(Piece({0xF0, 0x55, 0xF7}));
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Contents(), Raw({0xF0, 0x55, 0xF7}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceivedSysexLeftOut,
    ::testing::Values(LeftOutCase{"CutShortByTheNextMessage", {{0xF0, 0x01, 0x02}}},
                      LeftOutCase{"CutShortAfterTwoPieces", {{0xF0, 0x01, 0x02}, {0x03, 0x04}}},
                      LeftOutCase{"ARestWhoseStartWasLost", {{0x03, 0x04, 0xF7}}},
                      LeftOutCase{"StatusByteInside", {{0xF0, 0x01, 0x90, 0x3C, 0xF7}}},
                      LeftOutCase{"StatusByteInALaterPiece", {{0xF0, 0x01}, {0x02, 0x90, 0xF7}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceivedSysexStoreTest, AMessageThatLostAPieceToAFullInputQueueIsLeftOut) {
  Feed({{0xF0, 0x01, 0x02}});
  TMyMidiEvent afterLoss = Piece({0x05, 0x06});
  afterLoss.AfterLoss = true;
  store.Feed(afterLoss);
  Feed({{0x07, 0xF7}, {0xF0, 0x55, 0xF7}});
  EXPECT_EQ(store.Count(), 1);
  EXPECT_EQ(store.Contents(), Raw({0xF0, 0x55, 0xF7}));
}

TEST_F(ReceivedSysexStoreTest, TheOldestGoFirstBeyondTheCapacityAndTheUserIsToldOnce) {
  for (unsigned tag = 0; tag < 4; ++tag) store.Feed(Piece(SysexMessage(300, tag)));
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.TotalBytes(), 900);
  EXPECT_EQ(store.DroppedCount(), 1);
  EXPECT_EQ(store.Contents(), Joined({SysexMessage(300, 1), SysexMessage(300, 2), SysexMessage(300, 3)}));
  EXPECT_EQ(told, 1);

  // A large message pushes out as many old ones as it needs.
  store.Feed(Piece(SysexMessage(700, 9)));
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(store.Contents(), Joined({SysexMessage(300, 3), SysexMessage(700, 9)}));
  EXPECT_EQ(store.DroppedCount(), 3);
  EXPECT_EQ(told, 1);
}

TEST_F(ReceivedSysexStoreTest, AMessageLargerThanTheCapacityIsNotKeptAndTheOthersStay) {
  Feed({{0xF0, 0x01, 0xF7}});
  const Bytes large = SysexMessage(1200, 5);
  Feed({Bytes(large.begin(), large.begin() + 600), Bytes(large.begin() + 600, large.end())});
  EXPECT_EQ(store.Contents(), Raw({0xF0, 0x01, 0xF7}));
  EXPECT_EQ(store.DroppedCount(), 1);
  EXPECT_EQ(told, 1);
}

TEST_F(ReceivedSysexStoreTest, ClearForgetsEverythingIncludingAMessageUnderWayAndTellsAgainAfterwards) {
  for (unsigned tag = 0; tag < 4; ++tag) store.Feed(Piece(SysexMessage(300, tag)));
  Feed({{0xF0, 0x01, 0x02}});
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.TotalBytes(), 0);
  EXPECT_EQ(store.DroppedCount(), 0);
  Feed({{0x03, 0xF7}});  // the rest of the message under way at Clear
  EXPECT_EQ(store.Count(), 0);
  for (unsigned tag = 0; tag < 4; ++tag) store.Feed(Piece(SysexMessage(300, tag)));
  EXPECT_EQ(told, 2);
}

TEST_F(ReceivedSysexStoreTest, SavesTheMessagesAsASyxFileAndSaysWhenItCannot) {
  QTemporaryDir folder;
  Feed({{0xF0, 0x7E, 0xF7}, {0xF0, 0x00, 0x20, 0xF7}});
  const QString path = folder.filePath("received.syx");
  EXPECT_EQ(store.SaveTo(path), "");
  EXPECT_EQ(ReadAll(path), Raw({0xF0, 0x7E, 0xF7, 0xF0, 0x00, 0x20, 0xF7}));
  EXPECT_EQ(store.SaveTo(folder.filePath("missing/received.syx")),
            QString::fromUtf8("Impossible d'écrire dans received.syx"));
}

}  // namespace
