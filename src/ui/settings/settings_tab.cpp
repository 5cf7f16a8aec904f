#include "ui/settings/settings_tab.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "ui/controls/graphic_panel.h"
#include "ui/controls/tab_control.h"
#include "ui/window/prompts.h"
#include "util/date_time.h"

namespace sorvex {

namespace {

constexpr int kToolbarHeight = 30;
constexpr int kTopHeight = 150;
constexpr int kLeftPanelWidth = 250;
constexpr int kBaudrates[] = {50, 100, 200, 300, 600, 1200, 2400};
const QString kUnsavedQuestion = QStringLiteral("Изменения не сохранены!\r\nПродолжить?");

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(text);
  button->setAutoRaise(true);
  return button;
}

QFrame* Panel(QWidget* parent, const char* name) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  return panel;
}

// A typed value is applied when it is complete (Enter or leaving the
// field), not at every keystroke; the arrows apply at once.
QSpinBox* SpinEdit(QWidget* parent, const char* name, int min, int max, int step) {
  auto* edit = new QSpinBox(parent);
  edit->setObjectName(name);
  edit->setRange(min, max);
  edit->setSingleStep(step);
  edit->setKeyboardTracking(false);
  return edit;
}

QComboBox* ComboBox(QWidget* parent, const char* name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  return box;
}

QLabel* Caption(QWidget* parent, const QString& text) {
  return new QLabel(text, parent);
}

}  // namespace

QString SaveFailureReason(int error) {
  switch (error) {
    case 0:
      return QString();
    case EACCES:
    case EPERM:
      return QStringLiteral("нет прав на запись");
    case EROFS:
      return QStringLiteral("диск только для чтения");
    case ENOSPC:
    case EDQUOT:
      return QStringLiteral("нет места на диске");
    case ENOENT:
      return QStringLiteral("папка не существует");
    case ENOTDIR:
      return QStringLiteral("часть пути не является папкой");
    case EISDIR:
      return QStringLiteral("это папка");
    case ENAMETOOLONG:
      return QStringLiteral("слишком длинное имя");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
  }
}

TSettingsTab::TSettingsTab(std::string& modemSettingsFileName, TPrompts& prompts,
                           QString executableDir, QWidget* parent)
    : QWidget(parent),
      FModemSettingsFileName(modemSettingsFileName),
      FPrompts(prompts),
      FExecutableDir(std::move(executableDir)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  PtTool = Panel(this, "PtTool");
  PtTool->setFixedHeight(kToolbarHeight);
  auto* tools = new QHBoxLayout(PtTool);
  tools->setContentsMargins(2, 2, 2, 2);
  BtNew = ToolButton(PtTool, "BtNew", QStringLiteral("Новый"));
  BtLoad = ToolButton(PtTool, "BtLoad", QStringLiteral("Загрузить"));
  BtSave = ToolButton(PtTool, "BtSave", QStringLiteral("Сохранить"));
  tools->addWidget(BtNew);
  tools->addWidget(BtLoad);
  tools->addWidget(BtSave);
  tools->addStretch(1);
  layout->addWidget(PtTool);

  BuildTop();
  layout->addWidget(PnTop);
  BuildFilters();
  layout->addWidget(TcFilters, 1);
  layout->addStretch(0);

  connect(BtNew, &QToolButton::clicked, this, &TSettingsTab::BtNewClick);
  connect(BtLoad, &QToolButton::clicked, this, &TSettingsTab::BtLoadClick);
  connect(BtSave, &QToolButton::clicked, this, &TSettingsTab::BtSaveClick);
  for (QSpinBox* edit : {EdSFreq0, EdSFreq1})
    connect(edit, &QSpinBox::valueChanged, this, &TSettingsTab::GeneralChangeClick);
  for (QComboBox* box : {CbBaudrate, CbReceiver})
    connect(box, &QComboBox::currentIndexChanged, this, &TSettingsTab::GeneralChangeClick);
  connect(CbKind, &QComboBox::currentIndexChanged, this, &TSettingsTab::FilterChangeClick);
  for (QSpinBox* edit : {EdOrder, EdFreq1, EdFreq2, EdDbRipp})
    connect(edit, &QSpinBox::valueChanged, this, &TSettingsTab::FilterChangeClick);
  connect(CbDb, &QCheckBox::toggled, this, &TSettingsTab::CbDbClick);
  connect(TcFilters, &TTabControl::currentChanged, this, &TSettingsTab::TcFiltersChange);
  // The other preview at once, not at the next tick.
  connect(TbTop, &TTabControl::currentChanged, this, &TSettingsTab::Timer1Timer);

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(kTimer1Ms);
  connect(Timer1, &QTimer::timeout, this, &TSettingsTab::Timer1Timer);
  Timer1->start();

  // Shown only while a settings editor exists.
  ShowEditor(false);
}

TSettingsTab::~TSettingsTab() = default;

void TSettingsTab::BuildTop() {
  PnTop = Panel(this, "PnTop");
  PnTop->setFixedHeight(kTopHeight);
  auto* top = new QHBoxLayout(PnTop);
  top->setContentsMargins(2, 2, 2, 2);

  PnTL = Panel(PnTop, "PnTL");
  PnTL->setFixedWidth(kLeftPanelWidth);
  auto* grid = new QGridLayout(PnTL);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setVerticalSpacing(3);
  EdSFreq0 = SpinEdit(PnTL, "EdSFreq0", 1, 3999, 5);
  EdSFreq1 = SpinEdit(PnTL, "EdSFreq1", 1, 3999, 100);
  CbBaudrate = ComboBox(PnTL, "CbBaudrate");
  for (int baud : kBaudrates) CbBaudrate->addItem(QString::number(baud), baud);
  CbReceiver = ComboBox(PnTL, "CbReceiver");
  CbReceiver->addItem(QStringLiteral("Стандартный"), rkStandard);
  CbReceiver->addItem(QStringLiteral("Чувствительный"), rkSensitive);
  EdData = new QLineEdit(PnTL);
  EdData->setObjectName("EdData");
  int row = 0;
  grid->addWidget(Caption(PnTL, QStringLiteral("Частота 0")), row, 0);
  grid->addWidget(EdSFreq0, row++, 1);
  grid->addWidget(Caption(PnTL, QStringLiteral("Частота 1")), row, 0);
  grid->addWidget(EdSFreq1, row++, 1);
  grid->addWidget(Caption(PnTL, QStringLiteral("Скорость")), row, 0);
  grid->addWidget(CbBaudrate, row++, 1);
  grid->addWidget(Caption(PnTL, QStringLiteral("Приёмник")), row, 0);
  grid->addWidget(CbReceiver, row++, 1);
  grid->addWidget(Caption(PnTL, QStringLiteral("Данные")), row, 0);
  grid->addWidget(EdData, row++, 1);
  grid->setRowStretch(row, 1);
  top->addWidget(PnTL);

  TbTop = new TTabControl({QStringLiteral("Сигнал"), QStringLiteral("Спектр")}, PnTop);
  TbTop->setObjectName("TbTop");
  TestSignalPanel = new TGraphicPanel(TbTop->Page());
  TestSignalPanel->setObjectName("TestSignalPanel");
  top->addWidget(TbTop, 1);
}

void TSettingsTab::BuildFilters() {
  TcFilters = new TTabControl({QStringLiteral("Полосовой"), QStringLiteral("Сглаживающий")}, this);
  TcFilters->setObjectName("TcFilters");
  auto* page = new QHBoxLayout(TcFilters->Page());
  page->setContentsMargins(2, 2, 2, 2);

  PnBL = Panel(TcFilters->Page(), "PnBL");
  PnBL->setFixedWidth(kLeftPanelWidth);
  auto* grid = new QGridLayout(PnBL);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setVerticalSpacing(3);
  CbKind = ComboBox(PnBL, "CbKind");
  CbKind->addItem(QStringLiteral("Баттерворта"), fkButterworth);
  CbKind->addItem(QStringLiteral("Чебышева"), fkChebyshev);
  EdOrder = SpinEdit(PnBL, "EdOrder", 1, 32, 1);
  EdFreq1 = SpinEdit(PnBL, "EdFreq1", 1, 4000, 100);
  EdFreq2 = SpinEdit(PnBL, "EdFreq2", 1, 4000, 100);
  LbFreq2 = Caption(PnBL, QStringLiteral("Частота среза 2"));
  LbFreq2->setObjectName("LbFreq2");
  EdDbRipp = SpinEdit(PnBL, "EdDbRipp", 1, 70, 1);
  CbDb = new QCheckBox(QStringLiteral("Db"), PnBL);
  CbDb->setObjectName("CbDb");
  int row = 0;
  grid->addWidget(Caption(PnBL, QStringLiteral("Апроксимация")), row, 0);
  grid->addWidget(CbKind, row++, 1);
  grid->addWidget(Caption(PnBL, QStringLiteral("Порядок фильтра")), row, 0);
  grid->addWidget(EdOrder, row++, 1);
  grid->addWidget(Caption(PnBL, QStringLiteral("Частота среза 1")), row, 0);
  grid->addWidget(EdFreq1, row++, 1);
  grid->addWidget(LbFreq2, row, 0);
  grid->addWidget(EdFreq2, row++, 1);
  grid->addWidget(Caption(PnBL, QStringLiteral("Неравномерность %")), row, 0);
  grid->addWidget(EdDbRipp, row++, 1);
  grid->addWidget(CbDb, row++, 1, Qt::AlignLeft);  // its own size: a click anywhere on it counts
  grid->setRowStretch(row, 1);
  page->addWidget(PnBL);

  PnBR = Panel(TcFilters->Page(), "PnBR");
  FilterResponsePanel = new TGraphicPanel(PnBR);
  FilterResponsePanel->setObjectName("FilterResponsePanel");
  page->addWidget(PnBR, 1);
}

void TSettingsTab::ShowEditor(bool shown) {
  PnTop->setVisible(shown);
  TcFilters->setVisible(shown);
}

void TSettingsTab::EnterTab() {
  LoadSettingsEditor(FModemSettingsFileName);
}

void TSettingsTab::LeaveTab() {
  FSettingsModem.reset();
  ShowEditor(false);
}

void TSettingsTab::LoadSettingsEditor(const std::string& fileName) {
  FSettingsModem.reset();
  FSettingsModem = std::make_unique<TModem>(fileName, kPreviewBlockLength);
  ShowEditor(true);
  {
    const QSignalBlocker blocker(TcFilters);
    TcFilters->setCurrentIndex(0);
  }
  ShowSettings();
  DrawFilterResponse(true);
  Timer1Timer();
}

void TSettingsTab::ShowSettings() {
  if (!FSettingsModem) return;
  FFillingControls = true;
  const int index = TcFilters->currentIndex();
  TFilterSettings f;
  FSettingsModem->GetFilter(index, f);
  EdFreq2->setVisible(index == TModem::kBandSlot);
  LbFreq2->setVisible(index == TModem::kBandSlot);
  EdDbRipp->setEnabled(f.Kind == fkChebyshev);
  CbKind->setCurrentIndex(f.Kind);
  EdOrder->setValue(f.Order);
  EdFreq1->setValue(f.Freq1);
  EdFreq2->setValue(f.Freq2);
  EdDbRipp->setValue(f.Ripp);

  int32_t baud = 0, freq0 = 0, freq1 = 0;
  FSettingsModem->GetGeneral(baud, freq0, freq1);
  // A speed none of the items has leaves no item selected (rather than the
  // one selected before, which is not what the editor holds); the box still
  // shows that speed, greyed, as the file has it.
  const int item = CbBaudrate->findData(baud);
  CbBaudrate->setPlaceholderText(item < 0 ? QString::number(baud) : QString());
  CbBaudrate->setCurrentIndex(item);
  CbReceiver->setCurrentIndex(CbReceiver->findData(FSettingsModem->GetReceiver()));
  EdSFreq0->setValue(freq0);
  EdSFreq1->setValue(freq1);
  FFillingControls = false;
}

int32_t TSettingsTab::SelectedBaudrate() const {
  if (CbBaudrate->currentIndex() >= 0) return CbBaudrate->currentData().toInt();
  int32_t baud = 0, freq0 = 0, freq1 = 0;
  if (FSettingsModem) FSettingsModem->GetGeneral(baud, freq0, freq1);
  return baud;
}

void TSettingsTab::GeneralChangeClick() {
  if (!FSettingsModem || FFillingControls) return;
  FSettingsModem->SetGeneral(SelectedBaudrate(), EdSFreq0->value(), EdSFreq1->value());
  FSettingsModem->SetReceiver(CbReceiver->currentData().toInt());
  ShowSettings();
  FSettingsModified = true;
}

void TSettingsTab::FilterChangeClick() {
  if (!FSettingsModem || FFillingControls) return;
  FSettingsModem->SetFilter(TcFilters->currentIndex(), CbKind->currentIndex(), EdOrder->value(),
                            EdFreq1->value(), EdFreq2->value(), EdDbRipp->value());
  // The controls show what is stored (and the ripple follows the kind).
  ShowSettings();
  DrawFilterResponse(false);
  FSettingsModified = true;
}

void TSettingsTab::CbDbClick() {
  DrawFilterResponse(false);
}

void TSettingsTab::TcFiltersChange() {
  ShowSettings();
  DrawFilterResponse(true);
}

void TSettingsTab::DrawFilterResponse(bool withMarkers) {
  if (!FSettingsModem) return;
  const int index = TcFilters->currentIndex();
  std::vector<double> response(TModem::kResponsePoints, 0.0);
  FSettingsModem->GetFilterResponse(index, response.data());
  if (CbDb->isChecked()) {
    for (double& v : response) v = AmplitudeToDb(v);
  }
  if (withMarkers) FilterResponsePanel->ClearMarkers();
  FilterResponsePanel->SetSeries(0, response.data(), kResponseColour, TModem::kResponsePoints);
  if (!withMarkers) return;

  const auto moved = [this](int32_t userData, double position) {
    FilterMarkerMoved(userData, position);
  };
  TGraphicPanel& panel = *FilterResponsePanel;
  panel.AddMarker(0, kMarkerFreq1, moved, QString(), kCutoff1Colour, EdFreq1->value());
  if (index == TModem::kBandSlot) {
    panel.AddMarker(0, kMarkerFreq2, moved, QString(), kCutoff2Colour, EdFreq2->value());
    const int32_t freq0 = EdSFreq0->value();
    const int32_t freq1 = EdSFreq1->value();
    for (int32_t at : {freq0, freq1, (freq0 + freq1) / 2})
      panel.AddMarker(0, kMarkerFixed, nullptr, QString(), kFixedMarkerColour, at);
  } else {
    panel.AddMarker(0, kMarkerFixed, nullptr, QString(), kFixedMarkerColour, SelectedBaudrate());
  }
  panel.update();
}

void TSettingsTab::FilterMarkerMoved(int32_t userData, double position) {
  const int value = static_cast<int>(std::trunc(position));
  if (userData == kMarkerFreq1) {
    EdFreq1->setValue(value);
  } else if (userData == kMarkerFreq2) {
    EdFreq2->setValue(value);
  }
}

void TSettingsTab::Timer1Timer() {
  if (!FSettingsModem) return;
  const TPreviewMode mode =
      TbTop->currentIndex() == 1 ? TPreviewMode::Spectrum : TPreviewMode::Signal;
  const std::vector<double>& values =
      FPreview.Run(*FSettingsModem, EdData->text().toStdString(), SelectedBaudrate(), mode);
  TestSignalPanel->SetSeries(0, values.data(), kPreviewColour, static_cast<int32_t>(values.size()));
}

bool TSettingsTab::MayDiscardChanges() {
  if (!FSettingsModem || !FSettingsModified) return true;
  if (!FPrompts.ConfirmBox(kUnsavedQuestion)) return false;
  FSettingsModified = false;
  return true;
}

QString TSettingsTab::DialogStart(const QString& remembered) const {
  return remembered.isEmpty() ? FExecutableDir : remembered;
}

void TSettingsTab::BtNewClick() {
  if (!MayDiscardChanges()) return;
  LoadSettingsEditor("");
  FSettingsModified = true;
}

void TSettingsTab::BtLoadClick() {
  if (!MayDiscardChanges()) return;
  ShowEditor(false);
  FSettingsModem.reset();
  const QString name = FPrompts.OpenFileName(DialogStart(FOpenDialogFileName), QString());
  if (name.isEmpty()) return;  // the tab stays empty until New or Load succeeds
  FOpenDialogFileName = name;
  if (!QFileInfo(name).isFile()) {
    FPrompts.Notice(QStringLiteral("Файл не существует!"));
    return;
  }
  FSaveDialogFileName = name;
  LoadSettingsEditor(name.toStdString());
  FModemSettingsFileName = name.toStdString();
  FSettingsModified = false;
}

// A failed save keeps everything as it was: the changes count as unsaved,
// the window's settings file is the old one, and the file on disk is whole
// (the editor writes a copy and renames it over the file).
void TSettingsTab::BtSaveClick() {
  if (!FSettingsModem) return;
  const QString name = FPrompts.SaveFileName(DialogStart(FSaveDialogFileName), QString());
  if (name.isEmpty()) return;
  FSaveDialogFileName = name;
  errno = 0;
  if (!FSettingsModem->SaveSettings(name.toStdString())) {
    const int error = errno;
    QString reason = SaveFailureReason(error);
    if (reason.isEmpty()) reason = QStringLiteral("ошибка записи");
    FPrompts.MessageBox(QStringLiteral("Sorvex"),
                        QStringLiteral("Не удалось сохранить файл %1: %2").arg(name, reason));
    return;
  }
  FOpenDialogFileName = name;
  FModemSettingsFileName = name.toStdString();
  FSettingsModified = false;
}

}  // namespace sorvex
