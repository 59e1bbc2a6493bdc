// Renders the pictures of the README: the real windows on the built-in
// loopback, after a little traffic (with the file dialog of the SysEx sender,
// and the connection test during and after a run), then the main window whose
// devices were unplugged (a device of the picture's own, named as a USB
// interface is on ALSA, made to go away), each written as a PNG into the
// folder given as the only argument. Run it through scripts/screenshots.sh,
// which gives it an X server of its own so that fonts are drawn as on a
// desktop.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QToolButton>
#include <QTreeView>

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BulkSpinBox.h"
#include "ConnectionTestWindow.h"
#include "DisplayOptionsDialog.h"
#include "FileCommands.h"
#include "HexSpinBox.h"
#include "LogDisplay.h"
#include "LogSearchBar.h"
#include "MidiServices.h"
#include "QtTranslations.h"
#include "StatusShape.h"
#include "SysexFileSender.h"
#include "backends/SystemMidiServices.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/loopback/LoopbackSource.h"
#include "frmAbout.h"
#include "frmMain.h"
#include "frmSendBulk.h"
#include "uComm.h"

namespace {

// Lets the loopback's messages reach the window and the window draw them.
void Settle(int ms = 150) { Delay_Ms(static_cast<uint32_t>(ms), true); }

bool Choose(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  return true;
}

// One device that can be made to go away, as when its cable is pulled out.
class TUnpluggableDevice final : public DeviceSource {
 public:
  static constexpr const char* kName = "UM-ONE:UM-ONE MIDI 1 (ALSA)";

  std::vector<std::string> InputNames() override { return Names(); }
  std::vector<std::string> OutputNames() override { return Names(); }
  MMRESULT OpenInput(const std::string& name, InputDelivery&,
                     std::unique_ptr<InputConnection>* connection) override {
    if (name != kName || FUnplugged) return MIDIERR_NODEVICE;
    *connection = std::make_unique<TInput>(FUnplugged);
    return MMSYSERR_NOERROR;
  }
  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override {
    if (name != kName || FUnplugged) return MIDIERR_NODEVICE;
    *connection = std::make_unique<TOutput>(FUnplugged, done);
    return MMSYSERR_NOERROR;
  }
  void Watch(std::function<void()> changed) override { FChanged = std::move(changed); }
  uint16_t ProductId() const override { return 9; }
  uint32_t DriverVersion() const override { return 0x0100; }

  // Called from the event loop, as the systems' notices are.
  void Unplug() {
    FUnplugged = true;
    QTimer::singleShot(0, [this] {
      if (FChanged) FChanged();
    });
  }

 private:
  struct TInput final : InputConnection {
    explicit TInput(const bool& unplugged) : Unplugged(unplugged) {}
    bool Gone() override { return Unplugged; }
    const bool& Unplugged;
  };
  struct TOutput final : OutputConnection {
    TOutput(const bool& unplugged, const LongMessageDone& done) : Unplugged(unplugged), Done(done) {}
    MMRESULT SendShort(const uint8_t*, size_t) override { return Unplugged ? MIDIERR_NODEVICE : MMSYSERR_NOERROR; }
    MMRESULT SendLong(MIDIHDR* hdr) override {
      if (Unplugged) return MIDIERR_NODEVICE;
      Done(hdr);
      return MMSYSERR_NOERROR;
    }
    void Flush() override {}
    bool Gone() override { return Unplugged; }
    const bool& Unplugged;
    LongMessageDone Done;
  };

  std::vector<std::string> Names() const {
    return FUnplugged ? std::vector<std::string>{} : std::vector<std::string>{kName};
  }

  bool FUnplugged = false;
  std::function<void()> FChanged;
};

// A few banks of patches made from `model`, and a message written as text.
bool MakeBanks(const QString& folder, const QString& model) {
  const QDir dir(folder);
  for (const char* name : {"banque-A.syx", "banque-B.syx", "reverbs.syx"}) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!QFile::exists(path) && !QFile::copy(model, path)) return false;
  }
  QFile reset(dir.filePath(QStringLiteral("reset-gm.txt")));
  return reset.open(QIODevice::WriteOnly) && reset.write("F0 7E 7F 09 01 F7\n") > 0;
}

// Selects a file of the list by its name, as a click does.
void ClickFile(QTreeView& files, const QString& name) {
  const QAbstractItemModel* model = files.model();
  for (int row = 0; row < model->rowCount(files.rootIndex()); ++row) {
    const QModelIndex file = model->index(row, 0, files.rootIndex());
    if (file.data().toString() != name) continue;
    files.setFocus();
    files.selectionModel()->setCurrentIndex(file, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return;
  }
}

// Runs `open`, which shows a modal dialog and waits for it; `shoot` gets the
// dialog once it is drawn, which is then closed as "Annuler" does.
void ShootModalDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& shoot) {
  QTimer::singleShot(0, [shoot] {
    QDialog* dialog = nullptr;
    for (int i = 0; i < 100 && !dialog; ++i) {
      dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog) Settle(20);
    }
    if (!dialog) return;
    Settle(300);
    shoot(*dialog);
    dialog->reject();
  });
  open();
}

class TShots {
 public:
  explicit TShots(const QString& folder) : FFolder(folder) {}

  void Save(QWidget* widget, const QString& name) {
    Settle(50);
    const QString path = FFolder.filePath(name + QStringLiteral(".png"));
    if (widget->grab().save(path)) {
      std::printf("%s\n", qPrintable(path));
    } else {
      std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
      FFailed = true;
    }
  }
  // The part of the screen under the window, tool tips included.
  void SaveScreen(QWidget* window, const QString& name) {
    Settle(300);
    const QRect frame = window->frameGeometry();
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0, frame.x(), frame.y(), frame.width(),
                                                                         frame.height());
    const QString path = FFolder.filePath(name + QStringLiteral(".png"));
    if (screen.save(path)) {
      std::printf("%s\n", qPrintable(path));
    } else {
      std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
      FFailed = true;
    }
  }
  bool Failed() const { return FFailed; }

 private:
  QDir FFolder;
  bool FFailed = false;
};

}  // namespace

int main(int argc, char** argv) {
  // A French desktop: Qt's file dialog writes sizes and dates in the
  // desktop's regional format.
  qputenv("LC_ALL", "fr_FR.UTF-8");
  QApplication app(argc, argv);
  InstallQtFrenchTexts(app);
  if (argc != 2 || !QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "usage: screenshots FOLDER\n");
    return 2;
  }
  TShots shots(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir prefsDir;
  InstallMidiServices(CreateSystemMidiServices());
  {
    TMidiPortsSession ports;
    TfmMain window([&] { return prefsDir.filePath(QStringLiteral("orvalis.ini")); });
    fmMain = &window;
    window.FormCreate(&window);
    TfmSendBulk bulk;
    fmSendBulk = &bulk;
    bulk.FormCreate(&bulk);
    const QString loopback = QStringLiteral("Orvalis Loopback");
    if (!Choose(window.cbMIDIIn, loopback) || !Choose(window.cbMIDIOut, loopback)) {
      std::fprintf(stderr, "screenshots: no \"Orvalis Loopback\" device\n");
      return 1;
    }
    Settle();

    // Transmit panel, one picture per send mode.
    const std::pair<QRadioButton*, const char*> modes[] = {{window.rbSendCC, "transmit-cc"},
                                                           {window.rbSendPC, "transmit-pc"},
                                                           {window.rbSendOther, "transmit-autre"},
                                                           {window.rbSendNote, "transmit-note"}};
    for (const auto& [button, name] : modes) {
      button->click();
      Settle(20);
      shots.Save(window.pnlMidiTx, QString::fromLatin1(name));
    }

    // Main window with traffic, time-stamped: the loop test, both rows and a
    // transport command (an MMC system-exclusive message).
    window.cbDTflag->setChecked(true);
    window.ActToolsLoopTest->trigger();
    Settle();
    window.btnSendData1->click();
    Settle();
    window.btnSendData2->click();
    Settle();
    window.btnSendRTStart->click();
    Settle();
    shots.Save(&window, QStringLiteral("main"));

    // The log's display options: the filter page of "Affichage du journal"
    // (clock and active sensing hidden), then a log with details and
    // controller pairs while a clock of 120 BPM plays through the loopback.
    {
      DisplayPrefs prefs;
      prefs.Filter.SetKindHidden(MessageKind::Clock, true);
      prefs.Filter.SetKindHidden(MessageKind::ActiveSensing, true);
      prefs.Filter.SetChannelHidden(10, true);
      window.Display->SetPrefs(prefs);
      ShootModalDialog([&] { window.Display->ActViewLogFilter->trigger(); },
                       [&](QDialog& dialog) { shots.Save(&dialog, QStringLiteral("display-filter")); });
      prefs.Details.Decimal = prefs.Details.Channel = prefs.Details.NoteName = true;
      prefs.Details.ControllerName = prefs.Details.ProgramNumber = true;
      prefs.ControllerPairs = true;
      window.Display->SetPrefs(prefs);
      window.cbDTflag->setChecked(false);
      window.btnLogClearClick(window.btnLogClear);
      QElapsedTimer clock;
      clock.start();
      int clocks = 0;
      // The clock's messages, due every 60 000 / (24 × 120) ms, sent as the
      // event loop runs.
      const auto playFor = [&](int ms) {
        const qint64 end = clock.elapsed() + ms;
        while (clock.elapsed() < end) {
          while (static_cast<qint64>(clocks) * 125'000 <= clock.nsecsElapsed() / 1000 * 6) {
            MidiOut_SendBytes(std::array<uint8_t, 1>{0xF8}, 1, false);
            ++clocks;
          }
          QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
      };
      MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, false);
      playFor(600);
      const std::vector<std::array<uint8_t, 3>> messages = {
          {0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x00}, {0xB0, 0x07, 0x64}, {0xB0, 0x27, 0x20}, {0xB0, 0x65, 0x00},
          {0xB0, 0x64, 0x00}, {0xB0, 0x06, 0x02}, {0xC0, 0x05, 0x00}, {0xE0, 0x00, 0x48}};
      for (const auto& message : messages) {
        MidiOut_SendBytes(message, (message[0] & 0xF0) == 0xC0 ? 2 : 3, false);
        playFor(120);
      }
      playFor(1200);
      window.Display->ActEditFind->trigger();
      window.Display->Search->edFind->setText(QStringLiteral("RPN"));
      const QSize size = window.size();
      window.resize(size.width(), size.height() + 120);
      shots.Save(&window, QStringLiteral("display-log"));
      window.resize(size);
      window.Display->Search->Close();
      window.Display->SetPrefs(DisplayPrefs{});
      MidiOut_SendBytes(std::array<uint8_t, 1>{0xFC}, 1, false);
    }

    // A file of 64 patch messages being sent, a third of the way through.
    const QString bank = prefsDir.filePath(QStringLiteral("banque-A.syx"));
    {
      QFile file(bank);
      if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(bank));
        return 1;
      }
      for (int patch = 0; patch < 64; ++patch) {
        QByteArray message("\xF0\x41\x10\x6A\x12", 5);
        message.append(static_cast<char>(0x11));
        message.append(static_cast<char>(patch));
        message.append(QByteArray(257, static_cast<char>(0x20 + patch % 64)));
        message.append(static_cast<char>(0x00));
        message.append(static_cast<char>(0xF7));
        file.write(message);
      }
    }
    window.Files->ShowSysexFileSender();
    SysexFileSender* sender = window.Files->Sender();
    sender->SetPauseMs(100);
    sender->LoadFile(bank);
    sender->btnSend->click();
    Settle(2150);
    shots.Save(sender, QStringLiteral("sysex-send"));
    sender->StopSend();

    // "Choisir…": the file dialog in a folder of a few banks, in Qt's own
    // widgets (the desktop of the private X server offers no dialog of its own).
    const QString banks = prefsDir.filePath(QStringLiteral("SysEx"));
    if (!QDir().mkpath(banks) || !MakeBanks(banks, bank)) {
      std::fprintf(stderr, "screenshots: could not write the banks into %s\n", qPrintable(banks));
      return 1;
    }
    sender->SetFolder(banks);
    ShootModalDialog([&] { sender->btnChoose->click(); },
                     [&](QDialog& dialog) {
                       // Room for every column and place, as a user makes it.
                       dialog.resize(720, 420);
                       if (auto* places = dialog.findChild<QSplitter*>()) places->setSizes({130, 590});
                       if (auto* files = dialog.findChild<QTreeView*>()) {
                         files->header()->resizeSections(QHeaderView::ResizeToContents);
                         ClickFile(*files, QStringLiteral("banque-B.syx"));
                       }
                       shots.Save(&dialog, QStringLiteral("sysex-choose"));
                     });
    sender->hide();

    // Bulk window after a short sweep.
    bulk.PresetButtons[2]->click();
    bulk.cbData0Loop->setChecked(true);
    bulk.edData0Max->SetValue(2);
    bulk.edData1Min->SetValue(0x07);
    bulk.edData1Max->SetValue(0x08);
    bulk.edData2Min->SetValue(0x7E);
    bulk.edLoopDelay->SetValue(1);
    bulk.show();
    bulk.btnSendBulkStart->click();
    shots.Save(&bulk, QStringLiteral("bulk"));
    bulk.hide();

    TfmAbout about(&window);
    about.show();
    shots.Save(&about, QStringLiteral("about"));
    about.hide();

    // The connection test: 6 000 notes at 2 000 a second through the
    // loopback, while it runs and once it has ended.
    window.ActToolsConnectionTest->trigger();
    ConnectionTestWindow* linkTest = window.ConnectionTest;
    LinkTestSettings link;
    link.Count = 6000;
    link.RatePerSecond = 2000;
    link.TimeoutMs = 1000;
    linkTest->ShowSettings(link);
    linkTest->btnStart->click();
    Settle(1300);
    shots.Save(linkTest, QStringLiteral("connection-test-running"));
    for (int i = 0; i < 100 && linkTest->Running(); ++i) Settle(100);
    shots.Save(linkTest, QStringLiteral("connection-test-done"));
    linkTest->hide();

    window.close();
    fmSendBulk = nullptr;
  }

  // A device in use unplugged: both ports wait for it, the log says so, and
  // the hint of the input's square tells why it is red.
  auto device = std::make_unique<TUnpluggableDevice>();
  TUnpluggableDevice* unpluggable = device.get();
  std::vector<std::unique_ptr<DeviceSource>> sources;
  sources.push_back(std::move(device));
  sources.push_back(std::make_unique<LoopbackSource>());
  InstallMidiServices(std::make_unique<BackendMidiServices>(std::move(sources)));
  AbortDelay = false;  // set by the close of the first window
  {
    TMidiPortsSession ports;
    TfmMain window([&] { return prefsDir.filePath(QStringLiteral("unplugged.ini")); });
    fmMain = &window;
    window.FormCreate(&window);
    window.move(40, 40);
    const QString name = QString::fromLatin1(TUnpluggableDevice::kName);
    if (!Choose(window.cbMIDIIn, name) || !Choose(window.cbMIDIOut, name)) {
      std::fprintf(stderr, "screenshots: no unpluggable device\n");
      return 1;
    }
    window.cbDTflag->setChecked(true);
    window.btnMidiResetClick(window.btnMidiReset);
    window.btnLogClearClick(window.btnLogClear);
    window.btnSendData1->click();
    Settle();
    window.btnSendData2->click();
    Settle();
    unpluggable->Unplug();
    Settle();
    QToolTip::showText(window.shMidiOut->mapToGlobal(QPoint(8, 26)), window.shMidiIn->Hint(), window.shMidiIn);
    shots.SaveScreen(&window, QStringLiteral("device-gone"));
    QToolTip::hideText();
    window.close();
  }
  InstallMidiServices(nullptr);
  return shots.Failed() ? 1 : 0;
}
