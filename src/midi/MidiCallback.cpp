#include "MidiCallback.h"

#include <chrono>
#include <span>

#include "CircBuf.h"
#include "DriverTime.h"
#include "MidiText.h"
#include "MidiType.h"
#include "MidiWindow.h"

void MidiDriverCallback(HMIDI, uint32_t msg, uintptr_t instance, uintptr_t param1,
                        uintptr_t param2) {
  auto* info = reinterpret_cast<TMidiCtlInfo*>(instance);
  if (info == nullptr || info->hWindow == nullptr) return;
  switch (msg) {
    case MIM_DATA:
    case MIM_LONGDATA:
    case MIM_LONGERROR: {
      // The whole packed value: a clock or sensing byte arriving alone.
      if (param1 == 0xF8 && info->FilterMTC.load(std::memory_order_relaxed)) return;
      if (param1 == 0xFE && info->FilterAS.load(std::memory_order_relaxed)) return;
      if (msg == MIM_DATA && info->SysexOnly.load(std::memory_order_relaxed)) return;
      if (info->PBuffer == nullptr) return;
      TMidiBufferItem item;
      item.timestamp = static_cast<uint32_t>(param2);
      item.timeUs = DriverEventTimeUs();
      if (item.timeUs == 0) {
        item.timeUs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                std::chrono::steady_clock::now().time_since_epoch())
                                                .count());
      }
      if (msg == MIM_DATA) {
        item.data = static_cast<uint32_t>(param1);
      } else {
        item.sysex = reinterpret_cast<MIDIHDR*>(param1);
        if (info->LostBeforeNextSysex.load(std::memory_order_relaxed)) item.data = kSysexAfterLoss;
      }
      if (PutBufferItem(info->PBuffer, item)) {
        if (item.sysex != nullptr) info->LostBeforeNextSysex.store(false, std::memory_order_relaxed);
        info->hWindow->PostOnce(MIM_DATA);
      } else {
        if (item.sysex != nullptr) (void)info->KeepLostHeader(item.sysex);
        info->LostBeforeNextSysex.store(true, std::memory_order_relaxed);
        info->LostCount.fetch_add(1, std::memory_order_relaxed);
        info->hWindow->PostOnce(WM_USER);
      }
      return;
    }
    case MIM_OVERFLOW: {
      // Lost before the ring: counted and told like the ring's own losses.
      if (info->PBuffer == nullptr) return;
      if (param1 == 0) info->LossUncounted.store(true, std::memory_order_relaxed);
      info->LostBeforeNextSysex.store(true, std::memory_order_relaxed);
      info->LostCount.fetch_add(param1 == 0 ? 1u : static_cast<uint32_t>(param1), std::memory_order_release);
      info->hWindow->PostOnce(WM_USER);
      return;
    }
    case MOM_DONE:
      info->hWindow->Post(MOM_DONE, 0, param1);
      return;
    default:
      return;
  }
}

void SysexToHexText(const uint8_t* data, uint16_t byteCount, std::string& text) {
  constexpr uint16_t kMostShown = 500;
  text.clear();
  const size_t bytes = byteCount < kMostShown ? byteCount : kMostShown;
  if (bytes == 0 || data == nullptr) return;
  AppendHexBytes(text, std::span<const uint8_t>(data, bytes));
  text += ' ';
}
