// The details of a machine file where no shell property sheet exists: its place, size, dates and
// version-resource fields, in a small modeless dialog.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

struct TFileDetails {
  std::string FileName;  // name part
  std::string Folder;    // with its trailing backslash
  std::string HostPath;  // "" when the machine has none
  std::optional<std::uint64_t> Size;
  QDateTime Created, Modified, Accessed;  // invalid when unknown
  // Non-empty version-resource fields: caption, value.
  std::vector<std::pair<QString, QString>> VersionFields;
};

TFileDetails ReadFileDetails(Platform& platform, const std::string& file);

class TFilePropertiesDialog : public QDialog {
  Q_OBJECT
 public:
  TFilePropertiesDialog(Platform& platform, const std::string& file, QWidget* parent = nullptr);
};

}  // namespace tovalin
