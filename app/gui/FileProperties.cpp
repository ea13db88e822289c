#include "app/gui/FileProperties.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "app/gui/DialogSupport.h"
#include "app/gui/ProgramArt.h"
#include "app/gui/QtText.h"
#include "support/ZelVersionInfo.h"

namespace tovalin {

namespace {

QString DateText(const QDateTime& time) {
  return time.isValid() ? time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) : QString();
}

QLabel* ValueLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

TFileDetails ReadFileDetails(Platform& platform, const std::string& file) {
  TFileDetails details;
  const std::size_t slash = file.find_last_of("\\:");
  details.Folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
  details.FileName = slash == std::string::npos ? file : file.substr(slash + 1);
  details.HostPath = platform.Files().HostPath(file);
  if (!details.HostPath.empty()) {
    const QFileInfo info(Q(details.HostPath));
    if (info.exists()) {
      // The drive links of the prefix resolved, as the file manager shows the place.
      details.HostPath = info.canonicalFilePath().toStdString();
      details.Size = static_cast<std::uint64_t>(info.size());
      details.Created = info.birthTime();
      details.Modified = info.lastModified();
      details.Accessed = info.lastRead();
    }
  } else if (const auto content = platform.Files().ReadFile(file)) {
    details.Size = content->size();
  }

  TZelVersionInfo version(platform);
  version.LoadFromFile(file);
  const std::pair<const char*, std::string> fields[] = {
      {"ファイルの説明", version.FileDescription},
      {"ファイル バージョン", version.FileVersion},
      {"製品名", version.ProductName},
      {"製品バージョン", version.ProductVersion},
      {"著作権", version.LegalCopyright},
      {"会社名", version.CompanyName},
      {"元のファイル名", version.OriginalFileName},
      {"内部名", version.InternalName},
  };
  for (const auto& [caption, value] : fields) {
    if (!value.empty()) details.VersionFields.emplace_back(QString::fromUtf8(caption), Q(value));
  }
  return details;
}

TFilePropertiesDialog::TFilePropertiesDialog(Platform& platform, const std::string& file,
                                             QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FileProperties"));
  setAttribute(Qt::WA_DeleteOnClose);
  setFont(WindowFont());
  const TFileDetails details = ReadFileDetails(platform, file);
  setWindowTitle(Q(details.FileName) + QStringLiteral("のプロパティ"));

  auto* top = new QVBoxLayout(this);
  auto* head = new QHBoxLayout;
  auto* icon = new QLabel(this);
  QImage image;
  if (const IconHandle handle = platform.Icons().ExtractIcon(file, 0); handle != 0) {
    image = IconImageFromIco(platform.Icons().IconData(handle), 32);
    platform.Icons().DestroyIcon(handle);
  }
  if (image.isNull()) image = ApplicationIconImage(32);
  icon->setPixmap(QPixmap::fromImage(image));
  head->addWidget(icon);
  head->addWidget(ValueLabel(Q(details.FileName), this), 1);
  top->addLayout(head);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignLeft);
  auto add = [&](const QString& caption, const QString& value) {
    if (!value.isEmpty()) form->addRow(caption, ValueLabel(value, this));
  };
  add(QStringLiteral("場所"), Q(details.Folder));
  add(QStringLiteral("ホストのパス"), Q(details.HostPath));
  if (details.Size) {
    const QLocale locale(QLocale::Japanese, QLocale::Japan);
    add(QStringLiteral("サイズ"),
        QStringLiteral("%1 (%2 バイト)")
            .arg(locale.formattedDataSize(static_cast<qint64>(*details.Size)),
                 locale.toString(static_cast<qulonglong>(*details.Size))));
  }
  add(QStringLiteral("作成日時"), DateText(details.Created));
  add(QStringLiteral("更新日時"), DateText(details.Modified));
  add(QStringLiteral("アクセス日時"), DateText(details.Accessed));
  for (const auto& [caption, value] : details.VersionFields) add(caption, value);
  top->addLayout(form);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  top->addWidget(buttons);
  top->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tovalin
