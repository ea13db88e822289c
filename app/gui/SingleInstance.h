// One running copy per program file and user. The first start owns a local socket named after
// its program file and user; a later start connects to it, asks the first to restore and raise
// its window, and ends. A name left behind by a copy that died is taken over.
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

  explicit TInstanceGuard(QString key, QObject* parent = nullptr);
  ~TInstanceGuard() override;

  // The name for a program file: its file name (as the running file is actually named) and the
  // current user.
  static QString KeyFor(const QString& programPath);

  Outcome Acquire();
  const QString& Key() const { return key_; }

 signals:
  void RestoreRequested();

 private:
  void OnConnection();

  QString key_;
  QLocalServer* server_ = nullptr;
};

}  // namespace tovalin
