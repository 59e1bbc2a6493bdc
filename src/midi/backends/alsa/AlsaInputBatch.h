#pragma once
// What one read of the client's queue brought, held until the next read says
// whether events were lost meanwhile.
//
// The kernel drops events when the client's queue is full, but it reports the
// loss (-ENOSPC) only at the start of the next read; a read under way when
// events are dropped goes on taking the ones that still fit, from after the
// gap. So the pieces of one read may straddle a gap that nobody sees yet, and
// handing them on at once would join the beginning of a system-exclusive
// message to the end of another as if nothing was missing. Held, they are
// handed on when the next read has started without a loss (Release), or, when
// it reports one, only the short messages among them are (ReleaseAfterLoss):
// every system-exclusive piece of that read is suspect, so the message under
// way ends cut short where the last trusted read left it.
//
// The holding costs one more read (it does not wait: the client is
// non-blocking), never a wait for more events.
//
// Threads: the client's reading thread alone. Space for one read is set aside
// at construction, so holding does not allocate.

#include <chrono>
#include <cstddef>
#include <optional>
#include <cstdint>
#include <span>
#include <vector>

class InputDelivery;

class AlsaInputBatch {
 public:
  // bytesPerRead: the most bytes one read brings (alsa-lib's input buffer).
  explicit AlsaInputBatch(size_t bytesPerRead);

  // `arrived`: when the sequencer received it, if the event says.
  void Hold(InputDelivery& delivery, std::span<const uint8_t> bytes, bool sysex,
            std::optional<std::chrono::steady_clock::time_point> arrived = std::nullopt);
  bool Empty() const { return pieces_.empty(); }

  // The next read started with no loss: every piece goes on, in order.
  void Release();
  // The next read reported a loss: every delivery hears of it (`count`
  // messages, 0 when unknown), then the short messages go on; the
  // system-exclusive pieces are dropped.
  void ReleaseAfterLoss(std::span<InputDelivery* const> deliveries, uint32_t count = 0);

 private:
  // Hands every held piece on, in order (the system-exclusive ones only if
  // asked), and forgets them.
  void HandOn(bool withSysex);

  struct Piece {
    InputDelivery* delivery;
    size_t offset;
    size_t length;
    bool sysex;
    std::optional<std::chrono::steady_clock::time_point> arrived;
  };

  std::vector<Piece> pieces_;
  std::vector<uint8_t> bytes_;
};
