// Two-thread throughput of the input ring buffer (TCircularBuffer) against a
// mutex-guarded std::deque and boost::lockfree::spsc_queue, each holding up to
// 1024 items: one thread stores, the other peeks and removes, as between the
// driver's thread and the user-interface thread. Prints the median rates and
// their ratios last, one `name: value` per line.

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>

#include <boost/lockfree/spsc_queue.hpp>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CircBuf.h"

namespace {

constexpr uint32_t kItemsPerIteration = 1u << 18;

class RingQueue {
 public:
  RingQueue() : buffer_(CreateCircularBuffer(1024)) {}
  ~RingQueue() { FreeCircularBuffer(buffer_); }
  bool Push(const TMidiBufferItem& item) { return PutBufferItem(buffer_, item); }
  bool Pop(TMidiBufferItem& item) {
    if (!PeekBufferItem(buffer_, item)) return false;
    return RemoveBufferItem(buffer_);
  }

 private:
  TCircularBuffer* buffer_;
};

class MutexDequeQueue {
 public:
  bool Push(const TMidiBufferItem& item) {
    std::lock_guard lock(mutex_);
    if (items_.size() >= 1024) return false;
    items_.push_back(item);
    return true;
  }
  bool Pop(TMidiBufferItem& item) {
    std::lock_guard lock(mutex_);
    if (items_.empty()) return false;
    item = items_.front();
    items_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::deque<TMidiBufferItem> items_;
};

class BoostSpscQueue {
 public:
  bool Push(const TMidiBufferItem& item) { return queue_.push(item); }
  bool Pop(TMidiBufferItem& item) { return queue_.pop(item); }

 private:
  boost::lockfree::spsc_queue<TMidiBufferItem, boost::lockfree::capacity<1024>> queue_;
};

// The same waiting policy for every queue: spin briefly, then give the core up
// (the other side may not be running at all on a busy machine).
class Backoff {
 public:
  void Wait() {
    if (++spins_ < 64) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    } else {
      spins_ = 0;
      std::this_thread::yield();
    }
  }

 private:
  int spins_ = 0;
};

// Keeps the calling thread on one core, so that the two sides really run side
// by side (as the driver's thread and the user-interface thread do) instead of
// taking turns on one core. Does nothing on a single-core machine.
void PinToCore(unsigned core) {
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2) return;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(core % cores, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

template <typename Queue>
void TwoThreads(benchmark::State& state) {
  PinToCore(0);
  Queue queue;
  uint64_t checksum = 0;
  uint64_t outOfOrder = 0;
  for (auto _ : state) {
    std::thread producer([&queue] {
      PinToCore(1);
      for (uint32_t n = 0; n < kItemsPerIteration; ++n) {
        const TMidiBufferItem item{n, n, nullptr};
        Backoff backoff;
        while (!queue.Push(item)) backoff.Wait();
      }
    });
    uint32_t expected = 0;
    for (uint32_t n = 0; n < kItemsPerIteration; ++n) {
      TMidiBufferItem item;
      Backoff backoff;
      while (!queue.Pop(item)) backoff.Wait();
      outOfOrder += item.data != expected++;
      checksum += item.data;
    }
    producer.join();
  }
  benchmark::DoNotOptimize(checksum);
  if (outOfOrder != 0) state.SkipWithError("items out of order");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kItemsPerIteration);
}

// Shows the usual table and keeps each benchmark's median rate.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  RateReporter() : ConsoleReporter(OO_Tabular) {}  // plain text, easy to read back
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.aggregate_name != "median") continue;
      auto rate = run.counters.find("items_per_second");
      if (rate != run.counters.end()) rates[run.run_name.function_name] = rate->second.value;
    }
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  for (auto [name, function] : {std::pair{"ring", &TwoThreads<RingQueue>},
                                std::pair{"mutex_deque", &TwoThreads<MutexDequeQueue>},
                                std::pair{"boost_spsc", &TwoThreads<BoostSpscQueue>}}) {
    benchmark::RegisterBenchmark(name, function)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(9)
        ->ReportAggregatesOnly(true);
  }
  // Repetitions of the three run interleaved, so that a busy spell of the
  // machine does not fall on one queue only; a flag given by hand wins.
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double ring = reporter.rates["ring"];
  const double mutex = reporter.rates["mutex_deque"];
  const double boost = reporter.rates["boost_spsc"];
  std::printf("ring_items_per_second: %.0f\n", ring);
  std::printf("mutex_deque_items_per_second: %.0f\n", mutex);
  std::printf("boost_spsc_items_per_second: %.0f\n", boost);
  std::printf("ring_vs_mutex: %.2f\n", mutex > 0 ? ring / mutex : 0.0);
  std::printf("ring_vs_boost: %.2f\n", boost > 0 ? ring / boost : 0.0);
  return 0;
}
