#include "AlsaInputBatch.h"

#include <alsa/asoundlib.h>

#include "backends/common/InputDelivery.h"

AlsaInputBatch::AlsaInputBatch(size_t bytesPerRead) {
  // Every event takes at least its header in the read; what it gives is no longer.
  pieces_.reserve(bytesPerRead / sizeof(snd_seq_event_t) + 1);
  bytes_.reserve(bytesPerRead);
}

void AlsaInputBatch::Hold(InputDelivery& delivery, std::span<const uint8_t> bytes, bool sysex,
                          std::optional<std::chrono::steady_clock::time_point> arrived) {
  pieces_.push_back({&delivery, bytes_.size(), bytes.size(), sysex, arrived});
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void AlsaInputBatch::Release() { HandOn(true); }

void AlsaInputBatch::ReleaseAfterLoss(std::span<InputDelivery* const> deliveries, uint32_t count) {
  for (InputDelivery* delivery : deliveries) delivery->Lost(count);
  HandOn(false);
}

void AlsaInputBatch::HandOn(bool withSysex) {
  for (const Piece& piece : pieces_) {
    if (!withSysex && piece.sysex) continue;
    if (piece.arrived) {
      piece.delivery->Receive(bytes_.data() + piece.offset, piece.length, *piece.arrived);
    } else {
      piece.delivery->Receive(bytes_.data() + piece.offset, piece.length);
    }
  }
  pieces_.clear();
  bytes_.clear();
}
