#include "MidiCallback.h"

#include <span>

#include "CircBuf.h"
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
      if (msg == MIM_DATA) {
        item.data = static_cast<uint32_t>(param1);
      } else {
        item.sysex = reinterpret_cast<MIDIHDR*>(param1);
      }
      if (PutBufferItem(info->PBuffer, item)) {
        info->hWindow->Post(MIM_DATA, 0, 0);
      } else {
        const uintptr_t openCount =
            item.sysex != nullptr ? info->OpenCount.load(std::memory_order_relaxed) : 0;
        info->hWindow->Post(WM_USER, openCount, reinterpret_cast<uintptr_t>(item.sysex));
      }
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
