#include "AlsaClient.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "AlsaInputBatch.h"
#include "backends/common/DeviceNames.h"
#include "backends/common/InputDelivery.h"

namespace {

// The client's queue of arriving events, as deep as the kernel allows: a
// tenth of a second of a flood of 10 000 messages per second while the
// reading thread is not scheduled, and alsa-lib's buffer for reading many of
// them with one call.
constexpr int kInputPool = 2000;
constexpr size_t kInputBufferBytes = 64 * 1024;
constexpr int kOutputPool = 2000;

// The longest event alsa-lib's decoder turns into bytes (not a system-exclusive one).
constexpr long kDecodedBytes = 16;

// How often the reading thread looks at the kernel's count of the client's
// lost events between overflows.
constexpr std::chrono::milliseconds kLostCountPeriod{250};

struct DecoderDeleter {
  void operator()(snd_midi_event_t* decoder) const { snd_midi_event_free(decoder); }
};

}  // namespace

std::unique_ptr<AlsaClient> AlsaClient::Open() {
  Sequencer seq = OpenSequencer(kOwnClientName);
  if (!seq) return nullptr;
  snd_seq_set_client_pool_input(seq.get(), kInputPool);
  snd_seq_set_client_pool_output(seq.get(), kOutputPool);
  snd_seq_set_input_buffer_size(seq.get(), kInputBufferBytes);
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) return nullptr;
  return std::unique_ptr<AlsaClient>(new AlsaClient(std::move(seq), wake));
}

AlsaClient::AlsaClient(Sequencer seq, int wake)
    : seq_(std::move(seq)), id_(snd_seq_client_id(seq_.get())), wake_(wake) {
  StartQueue();
}

AlsaClient::~AlsaClient() {
  StopReading();
  if (queue_ >= 0) snd_seq_free_queue(seq_.get(), queue_);
  close(wake_);
}

namespace {

std::chrono::nanoseconds Nanos(const snd_seq_real_time_t& time) {
  return std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
}

std::optional<snd_seq_real_time_t> QueueTime(snd_seq_t* seq, int queue) {
  snd_seq_queue_status_t* status = nullptr;
  snd_seq_queue_status_alloca(&status);
  if (snd_seq_get_queue_status(seq, queue, status) < 0) return std::nullopt;
  return *snd_seq_queue_status_get_real_time(status);
}

}  // namespace

// Without a queue (none left), events still arrive, stamped when read.
void AlsaClient::StartQueue() {
  const int queue = snd_seq_alloc_named_queue(seq_.get(), kOwnClientName);
  if (queue < 0) return;
  if (snd_seq_start_queue(seq_.get(), queue, nullptr) < 0 || snd_seq_drain_output(seq_.get()) < 0) {
    snd_seq_free_queue(seq_.get(), queue);
    return;
  }
  // The queue's time and the steady clock read back to back: the closest pair counts.
  std::chrono::nanoseconds best{0};
  std::chrono::nanoseconds bestSpan = std::chrono::nanoseconds::max();
  for (int i = 0; i < 5; ++i) {
    const auto before = std::chrono::steady_clock::now();
    const std::optional<snd_seq_real_time_t> time = QueueTime(seq_.get(), queue);
    const auto after = std::chrono::steady_clock::now();
    if (!time) continue;
    if (after - before < bestSpan) {
      bestSpan = after - before;
      best = (before.time_since_epoch() + (after - before) / 2) - Nanos(*time);
    }
  }
  if (bestSpan == std::chrono::nanoseconds::max()) {
    snd_seq_free_queue(seq_.get(), queue);
    return;
  }
  queue_ = queue;
  queueStart_ = best;
}

// The kernel's count of the client's lost events since it opened; none when
// it cannot be read.
std::optional<unsigned> AlsaClient::EventsLost() const {
  snd_seq_client_info_t* info = nullptr;
  snd_seq_client_info_alloca(&info);
  if (snd_seq_get_client_info(seq_.get(), info) < 0) return std::nullopt;
  return static_cast<unsigned>(snd_seq_client_info_get_event_lost(info));
}

std::chrono::steady_clock::time_point AlsaClient::TimeOf(const snd_seq_real_time_t& queueTime) const {
  return std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(queueStart_ + Nanos(queueTime)));
}

std::optional<std::chrono::steady_clock::time_point> AlsaClient::QueueNow() const {
  if (queue_ < 0) return std::nullopt;
  const std::optional<snd_seq_real_time_t> time = QueueTime(seq_.get(), queue_);
  if (!time) return std::nullopt;
  return TimeOf(*time);
}

void AlsaClient::RegisterInput(int port, InputDelivery& delivery) {
  StopReading();
  inputs_.push_back({port, &delivery});
  StartReading();
}

void AlsaClient::UnregisterInput(int port) {
  StopReading();
  std::erase_if(inputs_, [port](const Registration& input) { return input.port == port; });
  StartReading();
}

void AlsaClient::StartReading() {
  if (inputs_.empty() || reader_.joinable()) return;
  reader_ = std::thread([this] { Read(); });
}

void AlsaClient::StopReading() {
  if (!reader_.joinable()) return;
  const uint64_t one = 1;
  while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  reader_.join();
  uint64_t count = 0;
  while (read(wake_, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

void AlsaClient::Read() {
  snd_midi_event_t* made = nullptr;
  if (snd_midi_event_new(kDecodedBytes, &made) < 0) return;
  const std::unique_ptr<snd_midi_event_t, DecoderDeleter> decoder(made);
  snd_midi_event_no_status(decoder.get(), 1);  // every message with its status byte

  std::vector<InputDelivery*> deliveries;
  for (const Registration& input : inputs_) deliveries.push_back(input.delivery);
  AlsaInputBatch batch(kInputBufferBytes);

  // What the kernel counted as lost so far; only what it counts from now on is ours to tell.
  std::optional<unsigned> lostSoFar = EventsLost();
  auto lostLookedAt = std::chrono::steady_clock::now();
  // How many events the kernel counted lost since it was last asked (0: none, or it cannot say).
  const auto newlyLost = [&]() -> uint32_t {
    lostLookedAt = std::chrono::steady_clock::now();
    const std::optional<unsigned> now = EventsLost();
    if (!now) return 0;
    const unsigned before = lostSoFar.value_or(*now);
    lostSoFar = now;
    return *now - before;
  };

  const int count = snd_seq_poll_descriptors_count(seq_.get(), POLLIN);
  std::vector<pollfd> descriptors(static_cast<size_t>(std::max(count, 0)) + 1);
  descriptors[0] = {wake_, POLLIN, 0};
  snd_seq_poll_descriptors(seq_.get(), descriptors.data() + 1,
                           static_cast<unsigned>(descriptors.size() - 1), POLLIN);
  for (;;) {
    if (poll(descriptors.data(), descriptors.size(), -1) < 0 && errno != EINTR) return;
    if (descriptors[0].revents != 0) return;
    for (;;) {
      // With alsa-lib's buffer empty, the next call reads the kernel's queue,
      // and only that read tells whether the last one may have straddled a loss.
      const bool reads = snd_seq_event_input_pending(seq_.get(), 0) == 0;
      snd_seq_event_t* event = nullptr;
      const int result = snd_seq_event_input(seq_.get(), &event);
      if (result == -ENOSPC) {
        // The queue overflowed: what was in it is lost, how much the kernel
        // says only if it counted it.
        batch.ReleaseAfterLoss(deliveries, newlyLost());
        continue;
      }
      if (reads) batch.Release();
      if (result >= 0 && event != nullptr) {
        Hold(*event, decoder.get(), batch);
      } else if (reads) {
        // -EAGAIN: none left, and nothing held. Now and then, whether the
        // kernel counted events lost without an overflow of the queue.
        if (std::chrono::steady_clock::now() - lostLookedAt >= kLostCountPeriod) {
          if (const uint32_t lost = newlyLost(); lost > 0) {
            for (InputDelivery* delivery : deliveries) delivery->Lost(lost);
          }
        }
        break;
      }
      // Else an event that alsa-lib's buffer did not hold whole: it emptied
      // the buffer, so the next call reads (and releases what is held).
    }
  }
}

void AlsaClient::Hold(const snd_seq_event_t& event, snd_midi_event_t* decoder,
                      AlsaInputBatch& batch) const {
  const auto input = std::find_if(inputs_.begin(), inputs_.end(), [&](const Registration& r) {
    return r.port == event.dest.port;
  });
  if (input == inputs_.end()) return;  // a port closed since
  // Stamped by the kernel on arrival, when the port asks the queue for it.
  const bool stamped = queue_ >= 0 && event.queue == queue_ &&
                       (event.flags & SND_SEQ_TIME_STAMP_MASK) == SND_SEQ_TIME_STAMP_REAL;
  const std::optional<std::chrono::steady_clock::time_point> arrived =
      stamped ? std::optional(TimeOf(event.time.time)) : std::nullopt;
  if (event.type == SND_SEQ_EVENT_SYSEX) {
    batch.Hold(*input->delivery,
               {static_cast<const uint8_t*>(event.data.ext.ptr), event.data.ext.len}, true, arrived);
    return;
  }
  unsigned char bytes[kDecodedBytes];
  // Other events than MIDI messages (connections made and broken) give none.
  const long length = snd_midi_event_decode(decoder, bytes, kDecodedBytes, &event);
  if (length > 0) batch.Hold(*input->delivery, {bytes, static_cast<size_t>(length)}, false, arrived);
}
