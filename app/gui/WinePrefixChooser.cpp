#include "app/gui/WinePrefixChooser.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "app/gui/QtText.h"
#include "office/OfficeProductCodes.h"
#include "support/platform/NativePlatform.h"

namespace tovalin {

namespace {

const QString kLastKey = QStringLiteral("WinePrefixes/Last");
const QString kAddedKey = QStringLiteral("WinePrefixes/Added");

enum Column { kName, kSource, kOffice, kPath };

bool Choosable(const FoundWinePrefix& prefix) {
  return prefix.Usable() && !prefix.office.empty();
}

QString OfficeText(const FoundWinePrefix& prefix) {
  if (!prefix.Usable()) return QStringLiteral("開けません: ") + Q(prefix.problem);
  if (prefix.office.empty()) return QStringLiteral("Office なし");
  QStringList names;
  for (const PrefixOfficeProduct& product : prefix.office) {
    names << Q(product.displayName.empty() ? "Office " + product.version : product.displayName);
  }
  return names.join(QStringLiteral("\n"));
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

// --- the dialog ---

TPrefixChooser::TPrefixChooser(std::vector<FoundWinePrefix> found,
                               const std::vector<std::string>& places, const std::string& current,
                               QWidget* parent)
    : QDialog(parent), found_(std::move(found)) {
  setObjectName(QStringLiteral("DlgPrefixChooser"));
  setWindowTitle(QStringLiteral("Wine プレフィックスの選択 - Tovalin"));
  auto* layout = new QVBoxLayout(this);

  bool any = false;
  for (const FoundWinePrefix& prefix : found_) any = any || Choosable(prefix);
  LblIntro = new QLabel(this);
  LblIntro->setObjectName(QStringLiteral("LblIntro"));
  LblIntro->setWordWrap(true);
  LblIntro->setTextInteractionFlags(Qt::TextSelectableByMouse);
  if (any) {
    LblIntro->setText(QStringLiteral(
        "Office が入っている Wine プレフィックスが複数あります。調べるプレフィックスを選んで"
        "ください。"));
  } else {
    QString text = QStringLiteral(
        "Office 9.0〜12.0 が入っている Wine プレフィックスが見つかりませんでした。\n"
        "次の場所を調べました:\n");
    for (const std::string& place : places) text += QStringLiteral("    ") + Q(place) + u'\n';
    text += QStringLiteral(
        "\nほかのプレフィックスを開くには「フォルダーを選ぶ」でそのフォルダーを選ぶか、\n"
        "WINEPREFIX=/path/to/prefix tovalin のように起動してください。");
    LblIntro->setText(text);
  }
  layout->addWidget(LblIntro);

  LvwPrefixes = new QTreeWidget(this);
  LvwPrefixes->setObjectName(QStringLiteral("LvwPrefixes"));
  LvwPrefixes->setRootIsDecorated(false);
  LvwPrefixes->setAllColumnsShowFocus(true);
  LvwPrefixes->setHeaderLabels({QStringLiteral("名前"), QStringLiteral("場所"),
                                QStringLiteral("Office"), QStringLiteral("パス")});
  LvwPrefixes->header()->setStretchLastSection(true);
  for (const FoundWinePrefix& prefix : found_) AddRow(prefix, current);
  for (int column : {kName, kSource}) LvwPrefixes->resizeColumnToContents(column);
  // As wide as the product names; a long reason why a prefix cannot be opened is cut short
  // (its tooltip has it whole) rather than pushing the path out of sight.
  int officeWidth = LvwPrefixes->fontMetrics().horizontalAdvance(QStringLiteral("Office なし"));
  for (std::size_t i = 0; i < found_.size(); ++i) {
    if (!found_[i].Usable()) continue;
    for (const QString& line :
         LvwPrefixes->topLevelItem(static_cast<int>(i))->text(kOffice).split(u'\n')) {
      officeWidth = std::max(officeWidth, LvwPrefixes->fontMetrics().horizontalAdvance(line));
    }
  }
  LvwPrefixes->setColumnWidth(kOffice, officeWidth + 16);
  LvwPrefixes->setTextElideMode(Qt::ElideMiddle);
  LvwPrefixes->setVisible(!found_.empty());
  layout->addWidget(LvwPrefixes, 1);
  if (found_.empty()) layout->addStretch(1);

  auto* buttons = new QHBoxLayout;
  BtnFolder = new QPushButton(QStringLiteral("フォルダーを選ぶ(&F)..."), this);
  BtnFolder->setObjectName(QStringLiteral("BtnFolder"));
  BtnOpen = new QPushButton(QStringLiteral("開く(&O)"), this);
  BtnOpen->setObjectName(QStringLiteral("BtnOpen"));
  BtnOpen->setDefault(true);
  BtnCancel = new QPushButton(QStringLiteral("キャンセル"), this);
  BtnCancel->setObjectName(QStringLiteral("BtnCancel"));
  buttons->addWidget(BtnFolder);
  buttons->addStretch(1);
  buttons->addWidget(BtnOpen);
  buttons->addWidget(BtnCancel);
  layout->addLayout(buttons);

  connect(BtnFolder, &QPushButton::clicked, this, [this] { BtnFolderClick(); });
  connect(BtnOpen, &QPushButton::clicked, this, [this] { OpenSelected(); });
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(LvwPrefixes, &QTreeWidget::currentItemChanged, this, [this] { UpdateOpenButton(); });
  connect(LvwPrefixes, &QTreeWidget::itemDoubleClicked, this, [this] { OpenSelected(); });
  UpdateOpenButton();
  resize(760, found_.empty() ? 300 : 360);
}

void TPrefixChooser::AddRow(const FoundWinePrefix& prefix, const std::string& current) {
  auto* row = new QTreeWidgetItem(LvwPrefixes);
  QString name = Q(prefix.name);
  if (prefix.path == current) name += QStringLiteral(" (表示中)");
  row->setText(kName, name);
  row->setText(kSource, Q(SourceLabelJa(prefix.source)));
  row->setText(kOffice, OfficeText(prefix));
  row->setText(kPath, Q(prefix.path));
  row->setToolTip(kOffice, row->text(kOffice));
  row->setToolTip(kPath, row->text(kPath));
  if (!Choosable(prefix)) {
    // Shown, so the user sees it was found, but not to be opened.
    row->setFlags(row->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
  } else if (LvwPrefixes->currentItem() == nullptr) {
    LvwPrefixes->setCurrentItem(row);
  }
}

void TPrefixChooser::UpdateOpenButton() {
  const QTreeWidgetItem* row = LvwPrefixes->currentItem();
  BtnOpen->setEnabled(row != nullptr && (row->flags() & Qt::ItemIsEnabled));
}

void TPrefixChooser::OpenSelected() {
  QTreeWidgetItem* row = LvwPrefixes->currentItem();
  if (row == nullptr || !(row->flags() & Qt::ItemIsEnabled)) return;
  chosen_ = found_[static_cast<std::size_t>(LvwPrefixes->indexOfTopLevelItem(row))].path;
  accept();
}

void TPrefixChooser::BtnFolderClick() {
  const QString folder =
      pickFolder ? pickFolder(this)
                 : QFileDialog::getExistingDirectory(
                       this, QStringLiteral("Wine プレフィックスのフォルダーを選ぶ"), QString(),
                       QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  if (folder.isEmpty()) return;
  const std::string path = folder.toStdString();
  const FoundWinePrefix prefix =
      ExamineWinePrefix(path, WinePrefixSource::Added, ListedOfficeVersion);
  if (!prefix.Usable()) {
    if (boxes != nullptr) {
      boxes->Warn(Q(path) + QStringLiteral(" は Wine のプレフィックスとして開けません。\r\n") +
                  Q(prefix.problem));
    }
    return;
  }
  if (folderAdded) folderAdded(path);
  chosen_ = path;
  accept();
}

// --- where the prefixes come from ---

WinePrefixSettings WinePrefixSettings::FromEnvironment() {
  WinePrefixSettings settings;
  settings.home = Env("HOME");
  settings.winePrefix = Env("WINEPREFIX");
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = settings.home + "/.config";
  settings.configFile = config + "/tovalin/tovalin.conf";
  return settings;
}

WinePrefixMachines::WinePrefixMachines(WinePrefixSettings settings, IMessageBoxes& boxes)
    : settings_(std::move(settings)), boxes_(boxes) {}

std::vector<FoundWinePrefix> WinePrefixMachines::Find() const {
  const QSettings kept(Q(settings_.configFile), QSettings::IniFormat);
  WinePrefixSearch search;
  search.home = settings_.home;
  search.winePrefix = settings_.winePrefix;
  for (const QString& folder : kept.value(kAddedKey).toStringList()) {
    search.addedFolders.push_back(folder.toStdString());
  }
  search.officeVersionOf = ListedOfficeVersion;
  return FindWinePrefixes(search);
}

std::unique_ptr<Platform> WinePrefixMachines::OpenFirst() {
  const std::vector<FoundWinePrefix> found = Find();
  const QSettings kept(Q(settings_.configFile), QSettings::IniFormat);
  const PrefixToOpen choice = ChoosePrefixToOpen(found, settings_.winePrefix,
                                                 kept.value(kLastKey).toString().toStdString());
  if (choice.kind == PrefixToOpen::Kind::Open) return Open(choice.path, found);
  return Choose(nullptr, found);
}

std::unique_ptr<Platform> WinePrefixMachines::OpenAnother(QWidget* parent) {
  return Choose(parent, Find());
}

std::unique_ptr<Platform> WinePrefixMachines::Choose(QWidget* parent,
                                                     const std::vector<FoundWinePrefix>& found) {
  WinePrefixSearch places;
  places.home = settings_.home;
  places.winePrefix = settings_.winePrefix;
  for (const FoundWinePrefix& prefix : found) {
    if (prefix.source == WinePrefixSource::Added) places.addedFolders.push_back(prefix.path);
  }
  TPrefixChooser chooser(found, WinePrefixPlaces(places), open_.path, parent);
  chooser.boxes = &boxes_;
  chooser.pickFolder = pickFolder;
  chooser.folderAdded = [this](const std::string& path) {
    QSettings kept(Q(settings_.configFile), QSettings::IniFormat);
    QStringList added = kept.value(kAddedKey).toStringList();
    if (!added.contains(Q(path))) added << Q(path);
    kept.setValue(kAddedKey, added);
  };
  const int result = runChooser ? runChooser(chooser) : chooser.exec();
  if (result != QDialog::Accepted || chooser.Chosen().empty()) return nullptr;
  std::unique_ptr<Platform> platform = Open(chooser.Chosen(), found);
  chosen_ = true;
  return platform;
}

void WinePrefixMachines::Shown() {
  if (opening_.path.empty()) return;
  open_ = std::exchange(opening_, FoundWinePrefix{});
  if (std::exchange(chosen_, false)) {
    QSettings kept(Q(settings_.configFile), QSettings::IniFormat);
    kept.setValue(kLastKey, Q(open_.path));
  }
}

std::unique_ptr<Platform> WinePrefixMachines::Open(const std::string& path,
                                                   const std::vector<FoundWinePrefix>& found) {
  NativeOptions options;
  options.winePrefix = path;
  options.writable = true;
  options.readOnlyWhenNotWritable = true;
  std::unique_ptr<Platform> platform = OpenNativePlatform(options);
  opening_ = ExamineWinePrefix(path, WinePrefixSource::Added, {});
  for (const FoundWinePrefix& prefix : found) {
    if (prefix.path == path) opening_ = prefix;
  }
  chosen_ = false;
  return platform;
}

QString WinePrefixMachines::Describe() const {
  if (open_.path.empty()) return {};
  return QStringLiteral("Wine プレフィックス: ") + Q(open_.name) + QStringLiteral(" [") +
         Q(SourceLabelJa(open_.source)) + QStringLiteral("]  ") + Q(open_.path);
}

std::unique_ptr<IMachineSource> NativeMachineSource(IMessageBoxes& boxes) {
  return std::make_unique<WinePrefixMachines>(WinePrefixSettings::FromEnvironment(), boxes);
}

}  // namespace tovalin
