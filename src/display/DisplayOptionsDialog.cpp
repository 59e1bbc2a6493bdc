#include "DisplayOptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QListWidgetItem* CheckableItem(QListWidget* list, const QString& caption, bool checked) {
  auto* item = new QListWidgetItem(caption, list);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  return item;
}

bool Checked(const QListWidget* list, int row) { return list->item(row)->checkState() == Qt::Checked; }

}  // namespace

QString MessageKindCaption(MessageKind kind) {
  switch (kind) {
    case MessageKind::Note: return QStringLiteral("Notes (Note On, Note Off)");
    case MessageKind::Aftertouch: return QStringLiteral("Aftertouch (Key, Channel)");
    case MessageKind::ControlChange: return QStringLiteral("Control Change");
    case MessageKind::ProgramChange: return QStringLiteral("Program Change");
    case MessageKind::PitchBend: return QStringLiteral("Pitch Bend");
    case MessageKind::SysEx: return QStringLiteral("SysEx (System Exclusive)");
    case MessageKind::TimeCode: return QStringLiteral("TimeCode MTC (F1)");
    case MessageKind::SystemCommon: return QStringLiteral("Autres messages système (F2 à F6)");
    case MessageKind::Clock: return QStringLiteral("Horloge (Timing Clock, F8)");
    case MessageKind::RealTime: return QStringLiteral("Temps réel (Start, Stop, Continue…)");
    case MessageKind::ActiveSensing: return QStringLiteral("Active Sensing (FE)");
  }
  return QString();
}

DisplayOptionsDialog::DisplayOptionsDialog(const DisplayPrefs& prefs, bool dropClockAtInput, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Affichage du journal"));
  tabs = new QTabWidget(this);

  // --- Messages affichés ---
  auto* filterPage = new QWidget(tabs);
  cbShowIn = new QCheckBox(QStringLiteral("Messages &reçus (MIDI-In)"), filterPage);
  cbShowOut = new QCheckBox(QStringLiteral("Messages &envoyés (Midi-Out)"), filterPage);
  cbShowIn->setChecked(!prefs.Filter.HideIn);
  cbShowOut->setChecked(!prefs.Filter.HideOut);
  lblKinds = new QLabel(QStringLiteral("&Types de messages :"), filterPage);
  lstKinds = new QListWidget(filterPage);
  for (int k = 0; k < MessageKindCount; ++k) {
    const auto kind = static_cast<MessageKind>(k);
    CheckableItem(lstKinds, MessageKindCaption(kind), !prefs.Filter.HidesKind(kind));
  }
  lblKinds->setBuddy(lstKinds);
  lblChannels = new QLabel(QStringLiteral("Cana&ux :"), filterPage);
  lstChannels = new QListWidget(filterPage);
  lstChannels->setFlow(QListView::LeftToRight);
  lstChannels->setWrapping(true);
  lstChannels->setResizeMode(QListView::Adjust);
  lstChannels->setGridSize(QSize(46, 20));
  for (int channel = 1; channel <= 16; ++channel) {
    CheckableItem(lstChannels, QString::number(channel), !prefs.Filter.HidesChannel(channel));
  }
  lstChannels->setFixedHeight(4 * 20 + 2 * lstChannels->frameWidth() + 4);
  lblChannels->setBuddy(lstChannels);
  for (QListWidget* list : {lstKinds, lstChannels}) {
    list->setAccessibleName(QString((list == lstKinds ? lblKinds : lblChannels)->text()).remove(QLatin1Char('&')).remove(QStringLiteral(" :")));
    list->setAccessibleDescription(QStringLiteral("Espace coche ou décoche le type ou le canal : décoché, il n'est plus affiché"));
    if (list->count() > 0) list->setCurrentRow(0);
  }
  cbDropClockAtInput = new QCheckBox(
      QStringLiteral("« Filtrer Time&Code » : écarter l'horloge dès l'entrée (ni comptée, ni tempo)"), filterPage);
  cbDropClockAtInput->setChecked(dropClockAtInput);
  btnShowAll = new QPushButton(QStringLiteral("Tout a&fficher"), filterPage);
  btnShowAll->setAutoDefault(false);
  connect(btnShowAll, &QPushButton::clicked, this, [this] {
    cbShowIn->setChecked(true);
    cbShowOut->setChecked(true);
    for (QListWidget* list : {lstKinds, lstChannels}) {
      for (int row = 0; row < list->count(); ++row) list->item(row)->setCheckState(Qt::Checked);
    }
  });
  auto* filterLayout = new QGridLayout(filterPage);
  auto* directions = new QHBoxLayout;
  directions->addWidget(cbShowIn);
  directions->addWidget(cbShowOut);
  directions->addStretch(1);
  filterLayout->addLayout(directions, 0, 0, 1, 2);
  filterLayout->addWidget(lblKinds, 1, 0);
  filterLayout->addWidget(lblChannels, 1, 1);
  filterLayout->addWidget(lstKinds, 2, 0, 2, 1);
  filterLayout->addWidget(lstChannels, 2, 1);
  filterLayout->addWidget(btnShowAll, 3, 1, Qt::AlignRight | Qt::AlignBottom);
  filterLayout->addWidget(cbDropClockAtInput, 4, 0, 1, 2);
  lstKinds->setMinimumWidth(lstKinds->sizeHintForColumn(0) + 2 * lstKinds->frameWidth() + 4);
  lstKinds->setMinimumHeight(lstKinds->sizeHintForRow(0) * MessageKindCount + 2 * lstKinds->frameWidth());
  tabs->addTab(filterPage, QStringLiteral("Messa&ges affichés"));

  // --- Détails ---
  auto* detailsPage = new QWidget(tabs);
  cbDecimal = new QCheckBox(QStringLiteral("Valeurs en déci&mal"), detailsPage);
  cbChannel = new QCheckBox(QStringLiteral("C&anal (1 à 16)"), detailsPage);
  cbNoteName = new QCheckBox(QStringLiteral("Nom des &notes"), detailsPage);
  lblMiddleC = new QLabel(QStringLiteral("&Do central (note 60) :"), detailsPage);
  cbMiddleC = new QComboBox(detailsPage);
  cbMiddleC->addItems({QStringLiteral("C4"), QStringLiteral("C3")});
  lblMiddleC->setBuddy(cbMiddleC);
  cbMiddleC->setAccessibleName(QStringLiteral("Do central (note 60)"));
  cbMiddleC->setAccessibleDescription(QStringLiteral("Do central (note 60)"));
  cbControllerName = new QCheckBox(QStringLiteral("Nom des c&ontrôleurs"), detailsPage);
  cbProgramNumber = new QCheckBox(QStringLiteral("Numéro de &programme (1 à 128)"), detailsPage);
  cbControllerPairs = new QCheckBox(
      QStringLiteral("Pa&ires de contrôleurs (14 bits, RPN, NRPN) : une ligne de plus avec la valeur entière"),
      detailsPage);
  cbClockTempo = new QCheckBox(QStringLiteral("Tempo de l'&horloge reçue (section réception)"), detailsPage);
  cbDecimal->setChecked(prefs.Details.Decimal);
  cbChannel->setChecked(prefs.Details.Channel);
  cbNoteName->setChecked(prefs.Details.NoteName);
  cbMiddleC->setCurrentIndex(prefs.Details.MiddleCOctave == 3 ? 1 : 0);
  cbControllerName->setChecked(prefs.Details.ControllerName);
  cbProgramNumber->setChecked(prefs.Details.ProgramNumber);
  cbControllerPairs->setChecked(prefs.ControllerPairs);
  cbClockTempo->setChecked(prefs.ClockTempo);
  auto* example = new QLabel(QStringLiteral("Par exemple : [MIDI-In] - 90 3C 40 (Note On)  canal 1, note 60, C4, vel. 64"),
                             detailsPage);
  example->setEnabled(false);
  auto* detailsLayout = new QVBoxLayout(detailsPage);
  detailsLayout->addWidget(cbDecimal);
  detailsLayout->addWidget(cbChannel);
  auto* notes = new QHBoxLayout;
  notes->addWidget(cbNoteName);
  notes->addSpacing(12);
  notes->addWidget(lblMiddleC);
  notes->addWidget(cbMiddleC);
  notes->addStretch(1);
  detailsLayout->addLayout(notes);
  detailsLayout->addWidget(cbControllerName);
  detailsLayout->addWidget(cbProgramNumber);
  detailsLayout->addWidget(example);
  detailsLayout->addSpacing(8);
  detailsLayout->addWidget(cbControllerPairs);
  detailsLayout->addWidget(cbClockTempo);
  detailsLayout->addStretch(1);
  tabs->addTab(detailsPage, QStringLiteral("Détai&ls"));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(buttons);

  const QList<QWidget*> order = {tabs,      cbShowIn,    cbShowOut,        lstKinds,         lstChannels,
                                 btnShowAll, cbDropClockAtInput, cbDecimal, cbChannel,      cbNoteName,
                                 cbMiddleC, cbControllerName,    cbProgramNumber, cbControllerPairs, cbClockTempo,
                                 buttons};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void DisplayOptionsDialog::ShowPage(Page page) {
  tabs->setCurrentIndex(page == Page::Filter ? 0 : 1);
  (page == Page::Filter ? static_cast<QWidget*>(cbShowIn) : static_cast<QWidget*>(cbDecimal))->setFocus();
}

DisplayPrefs DisplayOptionsDialog::Prefs() const {
  DisplayPrefs prefs;
  prefs.Filter.HideIn = !cbShowIn->isChecked();
  prefs.Filter.HideOut = !cbShowOut->isChecked();
  for (int k = 0; k < MessageKindCount; ++k) prefs.Filter.SetKindHidden(static_cast<MessageKind>(k), !Checked(lstKinds, k));
  for (int channel = 1; channel <= 16; ++channel) prefs.Filter.SetChannelHidden(channel, !Checked(lstChannels, channel - 1));
  prefs.Details.Decimal = cbDecimal->isChecked();
  prefs.Details.Channel = cbChannel->isChecked();
  prefs.Details.NoteName = cbNoteName->isChecked();
  prefs.Details.MiddleCOctave = cbMiddleC->currentIndex() == 1 ? 3 : 4;
  prefs.Details.ControllerName = cbControllerName->isChecked();
  prefs.Details.ProgramNumber = cbProgramNumber->isChecked();
  prefs.ControllerPairs = cbControllerPairs->isChecked();
  prefs.ClockTempo = cbClockTempo->isChecked();
  return prefs;
}

bool DisplayOptionsDialog::DropClockAtInput() const { return cbDropClockAtInput->isChecked(); }
