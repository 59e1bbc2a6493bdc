// Notices of changes carried from other threads to the event loop's.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>
#include <vector>

#include "backends/common/ChangeNotice.h"

namespace {

void Pump() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

TEST(ChangeNotice, PostsBeforeTheWatcherRunsAreFoldedIntoOneCall) {
  ChangeNotice notice;
  int calls = 0;
  notice.Watch([&] { ++calls; });
  for (int i = 0; i < 100; ++i) notice.Post();
  Pump();
  EXPECT_EQ(calls, 1);
  notice.Post();
  Pump();
  EXPECT_EQ(calls, 2);
}

TEST(ChangeNotice, PostsFromOtherThreadsReachTheWatcherOnTheEventLoopsThread) {
  ChangeNotice notice;
  int calls = 0;
  const std::thread::id loop = std::this_thread::get_id();
  bool onLoop = true;
  notice.Watch([&] {
    ++calls;
    onLoop = onLoop && std::this_thread::get_id() == loop;
  });
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) {
    posters.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) notice.Post();
    });
  }
  for (std::thread& poster : posters) poster.join();
  Pump();
  EXPECT_GE(calls, 1);
  EXPECT_LE(calls, 4000);
  EXPECT_TRUE(onLoop);
  const int before = calls;
  Pump();
  EXPECT_EQ(calls, before) << "nothing is left waiting";
}

TEST(ChangeNotice, APostWhileTheWatcherRunsGivesAnotherCall) {
  ChangeNotice notice;
  int calls = 0;
  notice.Watch([&] {
    if (++calls == 1) notice.Post();
  });
  notice.Post();
  Pump();
  Pump();
  EXPECT_EQ(calls, 2);
}

TEST(ChangeNotice, WithoutAWatcherNoticesAreDropped) {
  ChangeNotice notice;
  notice.Post();
  Pump();
  int calls = 0;
  notice.Watch([&] { ++calls; });
  Pump();
  EXPECT_EQ(calls, 0);
}

}  // namespace
