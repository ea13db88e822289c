#include "app/gui/Translations.h"

#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace tovalin {

bool InstallToolkitTranslation(QCoreApplication& app) {
  const QString folders[] = {
      QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")),
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
  };
  for (const QString& folder : folders) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_ja"), folder)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
    delete translator;
  }
  return false;
}

}  // namespace tovalin
