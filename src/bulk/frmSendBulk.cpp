#include "frmSendBulk.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <functional>
#include <tuple>
#include <vector>

#include "BulkSpinBox.h"
#include "MidiOut.h"
#include "frmMain.h"
#include "uComm.h"
#include "uUserPrefs.h"

bool SendBulkRunning = false;
TfmSendBulk* fmSendBulk = nullptr;

namespace {

// Object names of the preset buttons by tag: they do not follow the captions.
constexpr std::array<int, SendBulkPresetCount> PresetComponentNumber = {1, 2, 3, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 16};
const char* const TagProperty = "tag";
const QString EndLine = QStringLiteral("Full loop ellapsed or aborted");
// Blocking wait for events at the end of a pass that sent nothing, so that an
// endless sweep over empty ranges still lets Stop act without spinning a core.
constexpr uint32_t IdlePassWaitMs = 10;
constexpr uint32_t NoteOffDelayMs = 10;

// A box's value as the sweep uses it: inside the box's range, so that no
// channel outside 1..16 and no data byte above 0x7F can be sent, whatever a
// hand-edited preset or a half-typed value holds.
int SweepValue(const TBulkSpinBox* box) { return std::clamp(box->value(), box->Minimum(), box->Maximum()); }

template <typename T>
T* Place(T* widget, int left, int top, int width = -1, int height = -1) {
  if (width < 0 || height < 0) {
    widget->adjustSize();
    if (width < 0) width = widget->width();
    if (height < 0) height = widget->height();
  }
  widget->setGeometry(left, top, width, height);
  return widget;
}

QLabel* RightAlignedLabel(QWidget* parent, const QString& text, int rightEdge, int top) {
  auto* label = new QLabel(text, parent);
  constexpr int width = 40;
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setGeometry(rightEdge - width, top - 1, width, 17);
  return label;
}

}  // namespace

TfmSendBulk::TfmSendBulk(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("fmSendBulk"));
  setWindowTitle(QStringLiteral("Envoi par paquets"));
  setFixedSize(497, 418);
  // The main window alone decides when the program ends.
  setAttribute(Qt::WA_QuitOnClose, false);
  // The window's compact 8-point font: the positions are made for it (range
  // boxes a little wider and further right than the captions' own layout, so
  // that the longest check box text and "0x7F" fit).
  QFont compact = font();
  compact.setPointSize(8);
  setFont(compact);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  CreatePresetButtons();
  CreateControls();
  SetTabOrder();
  SetUpAccessibility();
  ConnectHandlers();
}

TfmSendBulk::~TfmSendBulk() {
  if (fmSendBulk == this) fmSendBulk = nullptr;
}

void TfmSendBulk::CreatePresetButtons() {
  PresetGroup = new QButtonGroup(this);
  PresetGroup->setExclusive(true);
  for (int tag = 0; tag < SendBulkPresetCount; ++tag) {
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("AdvToolButton%1").arg(PresetComponentNumber[static_cast<size_t>(tag)]));
    button->setProperty(TagProperty, tag);
    button->setText(QString::number(tag + 1));
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setAccessibleName(QStringLiteral("Preset %1").arg(tag + 1));
    button->setGeometry(16 + 24 * tag, 16, 23, 22);
    button->setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid transparent; border-radius: 2px; padding: 0px; }"
        "QToolButton:hover { background: rgb(199, 199, 202); border-color: palette(highlight); }"
        "QToolButton:checked { background: rgb(210, 211, 216); border-color: palette(highlight); }"
        "QToolButton:focus { border: 1px dotted palette(text); }"));
    PresetGroup->addButton(button, tag);
    PresetButtons[static_cast<size_t>(tag)] = button;
  }
  Label3 = Place(new QLabel(QStringLiteral("<- Presets"), this), 416, 20);
  Label3->setObjectName(QStringLiteral("Label3"));
}

void TfmSendBulk::CreateControls() {
  Label1 = Place(new QLabel(QStringLiteral("Envoyer vers la sortie MIDI :"), this), 16, 48);
  cbMIDIOut = Place(new QComboBox(this), 16, 65, 297, 22);
  btnSendBulkStart = Place(new QPushButton(QStringLiteral("Start"), this), 346, 63, 64, 26);
  btnSendBulkStop = Place(new QPushButton(QStringLiteral("Stop"), this), 416, 63, 65, 26);

  GroupBox3 = Place(new QGroupBox(QStringLiteral("Type de boucle"), this), 16, 95, 465, 180);
  QWidget* g = GroupBox3;
  cbData0Loop = Place(new QCheckBox(QStringLiteral("Boucler sur numéro de canal MIDI (octet #1)"), g), 16, 24, 270, 17);
  cbData1Loop = Place(new QCheckBox(QStringLiteral("Boucler sur numéro de commande (octet #2)"), g), 16, 48, 270, 17);
  cbData2Loop = Place(new QCheckBox(QStringLiteral("Boucler sur numéro de valeur (octet #3)"), g), 16, 72, 270, 17);
  cbLoopInfinite = Place(new QCheckBox(QStringLiteral("Boucler indéfiniment"), g), 16, 98, 160, 17);
  cbData1Loop->setChecked(true);
  cbData2Loop->setChecked(true);

  lblData0Min = RightAlignedLabel(g, QStringLiteral("Fixe"), 309, 25);
  edData0Min = Place(new TBulkSpinBox(false, 1, 16, 1, g), 313, 22, 56, 23);
  lblData0Max = Place(new QLabel(QStringLiteral("Max"), g), 374, 25);
  edData0Max = Place(new TBulkSpinBox(false, 1, 16, 16, g), 400, 22, 58, 23);
  lblData1Min = RightAlignedLabel(g, QStringLiteral("Min"), 309, 49);
  edData1Min = Place(new TBulkSpinBox(true, 0, 127, 0, g), 313, 46, 56, 23);
  lblData1Max = Place(new QLabel(QStringLiteral("Max"), g), 374, 49);
  edData1Max = Place(new TBulkSpinBox(true, 0, 127, 127, g), 400, 46, 58, 23);
  lblData2Min = RightAlignedLabel(g, QStringLiteral("Min"), 309, 73);
  edData2Min = Place(new TBulkSpinBox(true, 0, 127, 0, g), 313, 70, 56, 23);
  lblData2Max = Place(new QLabel(QStringLiteral("Max"), g), 374, 73);
  edData2Max = Place(new TBulkSpinBox(true, 0, 127, 127, g), 400, 70, 58, 23);
  lblData0Max->setEnabled(false);
  edData0Max->setEnabled(false);

  Label9 = Place(new QLabel(QStringLiteral("Délai entre événements"), g), 16, 128);
  edLoopDelay = Place(new TBulkSpinBox(false, 1, 10000, 100, g), 305, 124, 64, 23);
  Label11 = Place(new QLabel(QStringLiteral("ms"), g), 374, 128);

  rbControlChange = Place(new QRadioButton(QStringLiteral("Control Change"), g), 16, 153, 110, 17);
  rbProgramChange = Place(new QRadioButton(QStringLiteral("Program Change"), g), 132, 153, 118, 17);
  rbNote = Place(new QRadioButton(QStringLiteral("Note"), g), 256, 153, 57, 17);
  rbControlChange->setProperty(TagProperty, 0);
  rbProgramChange->setProperty(TagProperty, 1);
  rbNote->setProperty(TagProperty, 2);
  rbControlChange->setChecked(true);

  Label2 = Place(new QLabel(QStringLiteral("Derniers événements MIDI transmis"), this), 16, 287);
  Memo1 = Place(new QPlainTextEdit(this), 16, 305, 465, 97);
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setMaximumBlockCount(MemoMaxLines);

  // Object names as the handlers and tests know them.
  for (auto [widget, name] : std::initializer_list<std::pair<QWidget*, const char*>>{
           {Label1, "Label1"}, {cbMIDIOut, "cbMIDIOut"}, {btnSendBulkStart, "btnSendBulkStart"},
           {btnSendBulkStop, "btnSendBulkStop"}, {GroupBox3, "GroupBox3"}, {cbData0Loop, "cbData0Loop"},
           {cbData1Loop, "cbData1Loop"}, {cbData2Loop, "cbData2Loop"}, {cbLoopInfinite, "cbLoopInfinite"},
           {lblData0Min, "lblData0Min"}, {edData0Min, "edData0Min"}, {lblData0Max, "lblData0Max"},
           {edData0Max, "edData0Max"}, {lblData1Min, "lblData1Min"}, {edData1Min, "edData1Min"},
           {lblData1Max, "lblData1Max"}, {edData1Max, "edData1Max"}, {lblData2Min, "lblData2Min"},
           {edData2Min, "edData2Min"}, {lblData2Max, "lblData2Max"}, {edData2Max, "edData2Max"},
           {Label9, "Label9"}, {edLoopDelay, "edLoopDelay"}, {Label11, "Label11"},
           {rbControlChange, "rbControlChange"}, {rbProgramChange, "rbProgramChange"}, {rbNote, "rbNote"},
           {Label2, "Label2"}, {Memo1, "Memo1"}}) {
    widget->setObjectName(QString::fromLatin1(name));
  }
}

void TfmSendBulk::SetTabOrder() {
  const QWidget* order[] = {cbMIDIOut,       cbData0Loop,     cbData1Loop,     cbData2Loop, edData0Min,
                            edData0Max,      edData1Min,      edData1Max,      edData2Min,  edData2Max,
                            edLoopDelay,     rbProgramChange, rbControlChange, rbNote,      cbLoopInfinite,
                            Memo1,           btnSendBulkStop, btnSendBulkStart};
  for (size_t i = 1; i < std::size(order); ++i) {
    setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
  }
  // The presets come first, before the output list; arrows also move between
  // them. The window still opens with the focus on the output list.
  for (size_t i = 1; i < PresetButtons.size(); ++i) setTabOrder(PresetButtons[i - 1], PresetButtons[i]);
  setTabOrder(PresetButtons.back(), cbMIDIOut);
  cbMIDIOut->setFocus();
}

void TfmSendBulk::SetUpAccessibility() {
  // Names from the captions beside the controls; each range box also says
  // which row it belongs to.
  Label1->setBuddy(cbMIDIOut);
  Label9->setBuddy(edLoopDelay);
  Label2->setBuddy(Memo1);
  const std::array<std::tuple<QCheckBox*, QLabel*, TBulkSpinBox*, QLabel*, TBulkSpinBox*>, 3> rows = {{
      {cbData0Loop, lblData0Min, edData0Min, lblData0Max, edData0Max},
      {cbData1Loop, lblData1Min, edData1Min, lblData1Max, edData1Max},
      {cbData2Loop, lblData2Min, edData2Min, lblData2Max, edData2Max},
  }};
  for (const auto& [loop, minLabel, minBox, maxLabel, maxBox] : rows) {
    minLabel->setBuddy(minBox);
    maxLabel->setBuddy(maxBox);
    minBox->setAccessibleDescription(loop->text());
    maxBox->setAccessibleDescription(loop->text());
  }
  // Enter presses the focused button, as Space does.
  btnSendBulkStart->setAutoDefault(true);
  btnSendBulkStop->setAutoDefault(true);
}

void TfmSendBulk::ConnectHandlers() {
  connect(PresetGroup, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* b) { AdvToolButton1Click(b); });
  connect(cbMIDIOut, &QComboBox::currentIndexChanged, this, [this] { cbMIDIOutChange(cbMIDIOut); });
  connect(btnSendBulkStart, &QPushButton::clicked, this, [this] { btnSendBulkStartClick(btnSendBulkStart); });
  connect(btnSendBulkStop, &QPushButton::clicked, this, [this] { btnSendBulkStopClick(btnSendBulkStop); });
  // Check boxes and radio buttons run their handlers on every change of state,
  // whether the user or a preset recall made it.
  for (QCheckBox* box : {cbData0Loop, cbData1Loop, cbData2Loop, cbLoopInfinite}) {
    connect(box, &QCheckBox::toggled, this, [this, box] { cbData0LoopClick(box); });
  }
  for (QRadioButton* radio : {rbControlChange, rbProgramChange, rbNote}) {
    connect(radio, &QRadioButton::toggled, this, [this, radio](bool checked) {
      if (checked) rbControlChangeClick(radio);
    });
  }
  for (TBulkSpinBox* box : {edData0Min, edData0Max, edData1Min, edData1Max, edData2Min, edData2Max, edLoopDelay}) {
    connect(box, &QSpinBox::valueChanged, this, [this, box] { edData0MinChange(box); });
  }
}

void TfmSendBulk::FormCreate(QObject*) {
  {
    const QSignalBlocker blocker(cbMIDIOut);
    cbMIDIOut->clear();
    if (fmMain) {
      for (int i = 0; i < fmMain->cbMIDIOut->count(); ++i) cbMIDIOut->addItem(fmMain->cbMIDIOut->itemText(i));
      cbMIDIOut->setCurrentIndex(fmMain->cbMIDIOut->currentIndex());
    }
  }
  UserPrefs.PresetIndex = 0;
}

void TfmSendBulk::cbMIDIOutChange(QObject*) {
  if (!fmMain) return;
  {
    const QSignalBlocker blocker(fmMain->cbMIDIOut);
    fmMain->cbMIDIOut->setCurrentIndex(cbMIDIOut->currentIndex());
  }
  fmMain->cbMIDIOutChange(cbMIDIOut);
}

void TfmSendBulk::cbData0LoopClick(QObject* Sender) {
  struct TRow {
    QCheckBox* loop;
    QLabel* minLabel;
    QLabel* maxLabel;
    TBulkSpinBox* maxBox;
  };
  for (const TRow& row : {TRow{cbData0Loop, lblData0Min, lblData0Max, edData0Max},
                          TRow{cbData1Loop, lblData1Min, lblData1Max, edData1Max},
                          TRow{cbData2Loop, lblData2Min, lblData2Max, edData2Max}}) {
    const bool loop = row.loop->isChecked();
    row.maxBox->setEnabled(loop);
    row.maxLabel->setEnabled(loop);
    row.minLabel->setText(loop ? QStringLiteral("Min") : QStringLiteral("Fixe"));
  }
  TSendBulkPreset* preset = Prefs_CurrentPreset();
  if (!preset) return;
  if (Sender == cbData0Loop) preset->Data0Loop = cbData0Loop->isChecked();
  if (Sender == cbData1Loop) preset->Data1Loop = cbData1Loop->isChecked();
  if (Sender == cbData2Loop) preset->Data2Loop = cbData2Loop->isChecked();
  if (Sender == cbLoopInfinite) preset->LoopInfinite = cbLoopInfinite->isChecked();
}

void TfmSendBulk::rbControlChangeClick(QObject* Sender) {
  const bool hasByte3 = rbControlChange->isChecked() || rbNote->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{edData2Min, edData2Max, lblData2Min, lblData2Max}) {
    w->setEnabled(hasByte3);
  }
  TSendBulkPreset* preset = Prefs_CurrentPreset();
  if (!preset) return;
  if (Sender == rbControlChange || Sender == rbProgramChange || Sender == rbNote) {
    preset->EventTypeIndex = Sender->property(TagProperty).toInt();
  }
}

void TfmSendBulk::edData0MinChange(QObject* Sender) {
  TSendBulkPreset* preset = Prefs_CurrentPreset();
  if (!preset) return;
  const auto byteOf = [](const TBulkSpinBox* box) { return static_cast<uint8_t>(box->value() & 0xFF); };
  if (Sender == edData0Min) preset->Data0Min = byteOf(edData0Min);
  if (Sender == edData0Max) preset->Data0Max = byteOf(edData0Max);
  if (Sender == edData1Min) preset->Data1Min = byteOf(edData1Min);
  if (Sender == edData1Max) preset->Data1Max = byteOf(edData1Max);
  if (Sender == edData2Min) preset->Data2Min = byteOf(edData2Min);
  if (Sender == edData2Max) preset->Data2Max = byteOf(edData2Max);
  if (Sender == edLoopDelay) preset->LoopDelay = edLoopDelay->value();
}

void TfmSendBulk::btnSendBulkStopClick(QObject*) {
  SendBulkRunning = false;
  btnSendBulkStart->setEnabled(!FSweeping);
  btnSendBulkStop->setEnabled(false);
}

void TfmSendBulk::AddLine(const QString& line) { Memo1->appendPlainText(line); }

void TfmSendBulk::btnSendBulkStartClick(QObject*) {
  if (FSweeping) return;
  struct TSweepScope {
    bool& sweeping;
    ~TSweepScope() { sweeping = false; }
  } scope{FSweeping};
  FSweeping = true;
  SendBulkRunning = true;
  btnSendBulkStart->setEnabled(false);
  btnSendBulkStop->setEnabled(true);
  while (SendBulkRunning) {
    int sent = 0;
    try {
      sent = SweepPass();
    } catch (const EMidiOutputError&) {
      break;  // the memo says which message did not go, and why
    }
    AddLine(EndLine);
    // Once the program is closing nothing is sent any more: an endless sweep
    // would otherwise keep it alive (and a core busy) until Stop is pressed
    // in a window that may be hidden.
    if (!cbLoopInfinite->isChecked() || AbortDelay) {
      SendBulkRunning = false;
    } else if (sent == 0) {
      CurrentDelayClock().WaitForEvents(IdlePassWaitMs, true);
    }
  }
  FSweeping = false;
  btnSendBulkStopClick(btnSendBulkStop);
}

int TfmSendBulk::SweepPass() {
  int sent = 0;
  const int low = SweepValue(edData0Min) - 1;
  const int high = (cbData0Loop->isChecked() ? SweepValue(edData0Max) : SweepValue(edData0Min)) - 1;
  for (int ch = low; ch <= high; ++ch) {
    if (!SendBulkRunning) break;
    const uint8_t base = rbControlChange->isChecked()   ? 0xB0
                         : rbProgramChange->isChecked() ? 0xC0
                         : rbNote->isChecked()          ? 0x90
                                                        : 0xB0;
    const int channel = cbData0Loop->isChecked() ? ch : SweepValue(edData0Min) - 1;
    const auto status = static_cast<uint8_t>(base + channel);
    const int low1 = SweepValue(edData1Min);
    const int high1 = cbData1Loop->isChecked() ? SweepValue(edData1Max) : SweepValue(edData1Min);
    for (int d1 = low1; d1 <= high1; ++d1) {
      if (!SendBulkRunning) break;
      sent += SweepByte3(status, d1);
    }
  }
  return sent;
}

int TfmSendBulk::SweepByte3(uint8_t status, int d1) {
  int sent = 0;
  const int low = SweepValue(edData2Min);
  const int high = cbData2Loop->isChecked() ? SweepValue(edData2Max) : SweepValue(edData2Min);
  // Sends with `deliver`; the memo line says what became of the message.
  const auto sendWith = [&](std::span<const uint8_t> bytes, const std::function<void()>& deliver) {
    try {
      deliver();
    } catch (const EMidiOutputError& error) {
      AddLine(MidiOut_MessageText(bytes, QString::fromUtf8(error.what())));
      throw;
    }
    AddLine(MidiOut_MessageText(bytes));
    ++sent;
  };
  const auto send = [&](std::initializer_list<uint8_t> list) {
    const std::span<const uint8_t> bytes(list.begin(), list.size());
    sendWith(bytes, [&] { MidiOut_SendBytes(bytes, bytes.size(), true); });
  };
  for (int d2 = low; d2 <= high; ++d2) {
    QCoreApplication::processEvents();
    if (!SendBulkRunning) break;
    const auto b1 = static_cast<uint8_t>(d1);
    const auto b2 = static_cast<uint8_t>(d2);
    bool noByte3 = false;
    if (rbControlChange->isChecked()) {
      send({status, b1, b2});
    } else if (rbNote->isChecked()) {
      const auto channel = static_cast<uint8_t>(status & 0x0F);
      send({static_cast<uint8_t>(0x90 + channel), b1, b2});
      // The Note Off is owed to the device that got the Note On.
      const std::vector<uint8_t> off{static_cast<uint8_t>(0x80 + channel), b1, b2};
      TOwedMessage noteOff([off] { return off; });
      Delay_MsUntilAbort(NoteOffDelayMs);
      sendWith(off, [&] { noteOff.Send(); });
    } else if (rbProgramChange->isChecked()) {
      send({status, b1});
      noByte3 = true;
    }
    Delay_MsUntilAbortOr(static_cast<uint32_t>(SweepValue(edLoopDelay)), [] { return !SendBulkRunning; });
    // A Program Change has no byte #3: one message per byte #2 value.
    if (noByte3) break;
  }
  return sent;
}

void TfmSendBulk::AdvToolButton1Click(QObject* Sender) {
  const auto* button = qobject_cast<QToolButton*>(Sender);
  if (!button || std::find(PresetButtons.begin(), PresetButtons.end(), button) == PresetButtons.end()) return;
  const int tag = button->property(TagProperty).toInt();
  UserPrefs.PresetIndex = tag;
  Preset_Recall(tag);
}

void TfmSendBulk::Preset_Recall(int32_t Index) {
  if (Index < 0 || Index >= SendBulkPresetCount) return;
  // A copy: the controls' handlers store into the same preset while it is recalled.
  const TSendBulkPreset P = UserPrefs.SendBulkPresets[static_cast<size_t>(Index)];
  if (SendBulkRunning) btnSendBulkStopClick(btnSendBulkStop);

  try {
    if (fmMain && !P.MidiOutDevName.isEmpty()) {
      const int entry = fmMain->cbMIDIOut->findText(P.MidiOutDevName, Qt::MatchFixedString);
      if (entry >= 0) {
        {
          const QSignalBlocker blocker(fmMain->cbMIDIOut);
          fmMain->cbMIDIOut->setCurrentIndex(entry);
        }
        fmMain->cbMIDIOutChange(fmMain->cbMIDIOut);
      }
    }
  } catch (...) {
    // The output device stays as it is; the other settings are still recalled.
  }

  cbData0Loop->setChecked(P.Data0Loop);
  cbData1Loop->setChecked(P.Data1Loop);
  cbData2Loop->setChecked(P.Data2Loop);
  cbLoopInfinite->setChecked(P.LoopInfinite);
  edData0Min->SetValue(P.Data0Min);
  edData0Max->SetValue(P.Data0Max);
  edData1Min->SetValue(P.Data1Min);
  edData1Max->SetValue(P.Data1Max);
  edData2Min->SetValue(P.Data2Min);
  edData2Max->SetValue(P.Data2Max);
  edLoopDelay->SetValue(P.LoopDelay);
  switch (P.EventTypeIndex) {
    case 0: rbControlChange->setChecked(true); break;
    case 1: rbProgramChange->setChecked(true); break;
    case 2: rbNote->setChecked(true); break;
    default: break;
  }
}
