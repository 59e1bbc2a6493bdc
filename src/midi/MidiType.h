#pragma once
// Types shared by the MIDI ports: the port base class, the event record, the
// holder of one platform buffer header, the record shared with the driver
// callback, and the enumerations of both ports.

#include <QObject>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "MidiServices.h"

struct TCircularBuffer;
class TMidiWindow;

// A port event handler; receives the port that fires it.
using TNotifyEvent = std::function<void(QObject* sender)>;

// Base class of both ports. The owner (QObject parent) destroys the port with
// itself. Every port lives on, and is used from, the user-interface thread.
class TMidiIO : public QObject {
  Q_OBJECT

 public:
  explicit TMidiIO(QObject* owner = nullptr) : QObject(owner) {}
  // Number of devices of the port's kind.
  virtual uint32_t DeviceCount() = 0;
};

// A small set over an enumeration whose values are below 32.
template <typename Enum>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<Enum> values) {
    for (Enum v : values) Include(v);
  }
  constexpr bool Contains(Enum v) const { return (bits_ & Bit(v)) != 0; }
  constexpr void Include(Enum v) { bits_ |= Bit(v); }
  constexpr void Exclude(Enum v) { bits_ &= ~Bit(v); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSet, TSet) = default;

 private:
  static constexpr uint32_t Bit(Enum v) { return uint32_t{1} << static_cast<unsigned>(v); }
  uint32_t bits_ = 0;
};

enum MidiOutputState { mosOpen, mosClosed };
enum MidiInputState { misOpen, misClosed, misCreating, misDestroying };

// Equal to the platform's technology codes; a code above opt_Mapper passes
// through as its number.
enum OutPortTech : uint8_t { opt_None, opt_MidiPort, opt_Synth, opt_SQSynth, opt_FMSynth, opt_Mapper };
extern const std::array<const char*, 6> TechnologyNames;
// TechnologyNames[tech], or the code's number for a technology beyond opt_Mapper.
std::string TechnologyName(OutPortTech tech);

enum TFeature { ftCaching, ftStreaming, ftVolume, ftStereoVolume };
using TFeatureSet = TSet<TFeature>;

enum TMidiMsg { msgActiveSensing, msgMidiTimeCode };
using TMidiMsgFilter = TSet<TMidiMsg>;

using TKeyPatchArray = std::array<uint16_t, 128>;

// The platform's text for a code as one of its two error-text services gives
// it (midiInGetErrorText or midiOutGetErrorText), or "Specified error number is
// out of range" when the service does not know the code.
std::string PlatformErrorText(MMRESULT (*errorTextService)(MMRESULT, std::string*), MMRESULT code);

// The operation whose failure an output error text describes.
enum TOutErrorContext { ecGeneral, ecShortMsg, ecLongMsg, ecPrepHeader };

// The General MIDI level 1 programs, in program-number order.
enum TGMInstrumentPatch : uint8_t {
  gmpAcousticGrandPiano, gmpBrightAcousticPiano, gmpElectricGrandPiano, gmpHonkyTonkPiano,
  gmpElectricPiano1, gmpElectricPiano2, gmpHarpsichord, gmpClavinet,
  gmpCelesta, gmpGlockenspiel, gmpMusicBox, gmpVibraphone,
  gmpMarimba, gmpXylophone, gmpTubularBells, gmpDulcimer,
  gmpDrawbarOrgan, gmpPercussiveOrgan, gmpRockOrgan, gmpChurchOrgan,
  gmpReedOrgan, gmpAccordion, gmpHarmonica, gmpTangoAccordion,
  gmpAcousticGuitarNylon, gmpAcousticGuitarSteel, gmpElectricGuitarJazz, gmpElectricGuitarClean,
  gmpElectricGuitarMuted, gmpOverdrivenGuitar, gmpDistortionGuitar, gmpGuitarHarmonics,
  gmpAcousticBass, gmpElectricBassFinger, gmpElectricBassPick, gmpFretlessBass,
  gmpSlapBass1, gmpSlapBass2, gmpSynthBass1, gmpSynthBass2,
  gmpViolin, gmpViola, gmpCello, gmpContrabass,
  gmpTremoloStrings, gmpPizzicatoStrings, gmpOrchestralHarp, gmpTimpani,
  gmpStringEnsemble1, gmpStringEnsemble2, gmpSynthStrings1, gmpSynthStrings2,
  gmpChoirAahs, gmpVoiceOohs, gmpSynthVoice, gmpOrchestraHit,
  gmpTrumpet, gmpTrombone, gmpTuba, gmpMutedTrumpet,
  gmpFrenchHorn, gmpBrassSection, gmpSynthBrass1, gmpSynthBrass2,
  gmpSopranoSax, gmpAltoSax, gmpTenorSax, gmpBaritoneSax,
  gmpOboe, gmpEnglishHorn, gmpBassoon, gmpClarinet,
  gmpPiccolo, gmpFlute, gmpRecorder, gmpPanFlute,
  gmpBlownBottle, gmpShakuhachi, gmpWhistle, gmpOcarina,
  gmpLead1Square, gmpLead2Sawtooth, gmpLead3Calliope, gmpLead4Chiff,
  gmpLead5Charang, gmpLead6Voice, gmpLead7Fifths, gmpLead8BassAndLead,
  gmpPad1NewAge, gmpPad2Warm, gmpPad3Polysynth, gmpPad4Choir,
  gmpPad5Bowed, gmpPad6Metallic, gmpPad7Halo, gmpPad8Sweep,
  gmpFx1Rain, gmpFx2Soundtrack, gmpFx3Crystal, gmpFx4Atmosphere,
  gmpFx5Brightness, gmpFx6Goblins, gmpFx7Echoes, gmpFx8SciFi,
  gmpSitar, gmpBanjo, gmpShamisen, gmpKoto,
  gmpKalimba, gmpBagpipe, gmpFiddle, gmpShanai,
  gmpTinkleBell, gmpAgogo, gmpSteelDrums, gmpWoodblock,
  gmpTaikoDrum, gmpMelodicTom, gmpSynthDrum, gmpReverseCymbal,
  gmpGuitarFretNoise, gmpBreathNoise, gmpSeashore, gmpBirdTweet,
  gmpTelephoneRing, gmpHelicopter, gmpApplause, gmpGunshot,
};
static_assert(gmpGunshot == 127);

// One MIDI message. A short message has no Sysex and SysexLength 0; a
// system-exclusive event has MidiMessage 0xF0 and owns its Sysex block of
// SysexLength bytes (F0 and F7 included as received or supplied).
struct TMyMidiEvent {
  uint8_t MidiMessage = 0;
  uint8_t Data1 = 0;
  uint8_t Data2 = 0;
  uint32_t Time = 0;  // input: milliseconds since the port was started; ignored on output
  // Input: when the driver's callback received the message, in microseconds of
  // std::chrono::steady_clock (the same clock in every port); 0 on output.
  uint64_t TimeUs = 0;
  uint16_t SysexLength = 0;
  std::unique_ptr<uint8_t[]> Sysex;
  // Input, system-exclusive only: messages were lost just before this piece,
  // so a long message it continues is not whole.
  bool AfterLoss = false;

  // Makes this a system-exclusive event holding a copy of the bytes (none for 0 bytes).
  void SetSysex(const uint8_t* bytes, uint16_t length);
};

// One platform buffer header with its data block, both shareable blocks. The
// owner stores the object's address in the header's dwUser before handing the
// header to the platform, so that it can be found again from the header.
// A failed allocation leaves every field 0 (see Allocated).
class TMyMidiHdr {
 public:
  explicit TMyMidiHdr(uint16_t bufferSize);
  ~TMyMidiHdr();
  TMyMidiHdr(const TMyMidiHdr&) = delete;
  TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

  // True when both blocks were had (always false for a buffer size of 0).
  bool Allocated() const { return hdrPointer != nullptr; }

  uint32_t hdrHandle = 0;
  MIDIHDR* hdrPointer = nullptr;
  uint32_t sysexHandle = 0;
  uint8_t* sysexPointer = nullptr;
};

// The record a port passes to the platform as the callback's instance value.
// Lives in a shareable block. PBuffer and hWindow are set on the user-interface
// thread only while no device can call back; the three filters may change while
// the device runs and act from the next notice.
struct TMidiCtlInfo {
  uint32_t hMem = 0;
  TCircularBuffer* PBuffer = nullptr;  // the input port's ring; none for output
  TMidiWindow* hWindow = nullptr;      // receives the notices
  std::atomic<bool> SysexOnly{false};
  std::atomic<bool> FilterMTC{false};
  std::atomic<bool> FilterAS{false};

  // What a full ring cost, for the input port's overflow notice. The callback
  // adds to LostCount and stores the header of each lost sysex item in
  // LostHeaders, so that the port gives it back to the driver; the port takes
  // both when the notice comes. Both sides only count up; LostHeaders is a
  // ring of its own (one writer, one reader, like TCircularBuffer). A header
  // lost while LostHeaders is full stays with the port until Close. Both are
  // emptied by the port while no device can call back.
  static constexpr uint32_t kLostHeaderSlots = 64;
  std::atomic<uint32_t> LostCount{0};
  // Driver thread only (atomic for the record's sake): an item was lost since
  // the last sysex item stored; the next one carries kSysexAfterLoss.
  std::atomic<bool> LostBeforeNextSysex{false};
  // The driver reported a loss without saying how many (MIM_OVERFLOW with 0,
  // counted as one in LostCount); the port takes it with LostCount.
  std::atomic<bool> LossUncounted{false};
  std::array<MIDIHDR*, kLostHeaderSlots> LostHeaders{};
  std::atomic<uint32_t> LostHeadersPut{0};
  std::atomic<uint32_t> LostHeadersGet{0};

  // Driver thread: notes the header of a lost sysex item; false when no room is left.
  bool KeepLostHeader(MIDIHDR* hdr) {
    const uint32_t put = LostHeadersPut.load(std::memory_order_relaxed);
    if (put - LostHeadersGet.load(std::memory_order_acquire) >= kLostHeaderSlots) return false;
    LostHeaders[put % kLostHeaderSlots] = hdr;
    LostHeadersPut.store(put + 1, std::memory_order_release);
    return true;
  }
  // User-interface thread: the oldest lost header not yet taken, or none.
  MIDIHDR* TakeLostHeader() {
    const uint32_t get = LostHeadersGet.load(std::memory_order_relaxed);
    if (get == LostHeadersPut.load(std::memory_order_acquire)) return nullptr;
    MIDIHDR* hdr = LostHeaders[get % kLostHeaderSlots];
    LostHeadersGet.store(get + 1, std::memory_order_release);
    return hdr;
  }

  // A zero-filled record in a shareable block, or none when it cannot be had.
  static TMidiCtlInfo* Allocate();
  // Releases a record from Allocate; none is allowed.
  static void Free(TMidiCtlInfo* info);
};
