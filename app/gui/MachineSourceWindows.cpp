// Windows is the one machine there is: nothing to choose, nothing to name.
#include "app/gui/MachineSource.h"
#include "support/platform/NativePlatform.h"

namespace tovalin {

namespace {

class WindowsMachine : public IMachineSource {
 public:
  std::unique_ptr<Platform> OpenFirst() override {
    NativeOptions options;
    options.writable = true;
    return OpenNativePlatform(options);
  }
  std::unique_ptr<Platform> OpenAnother(QWidget*) override { return nullptr; }
  void Shown() override {}
  QString Describe() const override { return {}; }
  bool CanSwitch() const override { return false; }
  std::string MachineName() const override { return {}; }
};

}  // namespace

std::unique_ptr<IMachineSource> NativeMachineSource(IMessageBoxes&) {
  return std::make_unique<WindowsMachine>();
}

}  // namespace tovalin
