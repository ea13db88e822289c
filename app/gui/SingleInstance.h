// One running copy per program file and user. The first start owns a name made from its program
// file (and user); a later start asks the first to restore and raise its window, and ends. A name
// left behind by a copy that died is taken over.
//
// On Windows the name is a global atom and the running copy's window is found by its caption; on
// other systems it is a local socket that carries the request.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace tovalin {

class TInstanceGuard : public QObject {
  Q_OBJECT
 public:
  enum class Outcome {
    First,    // this copy owns the name now
    Another,  // a running copy was asked to come to the front
    Failed,   // the name can be neither reached nor taken
  };

  // `windowTitle` is the caption of the running copy's main window (Windows finds it by that).
  explicit TInstanceGuard(QString key, QString windowTitle = QStringLiteral("Tovalin"),
                          QObject* parent = nullptr);
  ~TInstanceGuard() override;

  // The name for a program file: its file name (as the running file is actually named) and, off
  // Windows, the current user (Windows keeps atoms per session).
  static QString KeyFor(const QString& programPath);

  Outcome Acquire();
  const QString& Key() const { return key_; }

 signals:
  void RestoreRequested();

 private:
  void OnConnection();

  QString key_;
  QString windowTitle_;
#ifdef _WIN32
  unsigned short atom_ = 0;
#else
  QLocalServer* server_ = nullptr;
#endif
};

}  // namespace tovalin
