#pragma once
// The multi-threading dialog (TFormMultiThread): switches multi-threading on
// with "Automatic" (the pool's own limits) or a "Custom" number of threads.
//
// Opening: the default pool minimum and maximum are shown; the number field
// ranges over them and starts at the maximum; a stored MultiThreads within
// the range selects "Custom" with that number, anything else leaves
// "Automatic". "Enable" checks the menu item, stores MultiThreaded = "ON"
// and MultiThreads (0 for "Automatic", else the number) and closes.
// "Cancel", Esc and the close box store nothing.
#include <QDialog>
#include <memory>

#include "run/identifier.h"

class QAction;
namespace services {
class TSettingsStore;
}
namespace Ui {
class TFormMultiThread;
}

namespace ui {

class TFormMultiThread : public QDialog {
  Q_OBJECT
 public:
  TFormMultiThread(run::PoolLimits limits, services::TSettingsStore& settings, QAction* multiThreaded,
                   QWidget* parent = nullptr);
  ~TFormMultiThread() override;

 public Q_SLOTS:
  void Button1Click();  // Enable
  void Button2Click();  // Cancel

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  std::unique_ptr<Ui::TFormMultiThread> ui_;
  services::TSettingsStore& settings_;
  QAction* multiThreaded_;
};

}  // namespace ui
