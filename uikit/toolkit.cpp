#include "uikit/toolkit.h"

#include "uikit/logging.h"

#include <cstdlib>

namespace uikit {
namespace {
std::unique_ptr<Toolkit>& Slot() {
  static std::unique_ptr<Toolkit> slot;
  return slot;
}
}  // namespace

Toolkit::Toolkit(std::unique_ptr<IBackend> backend, ResourcePackage& package)
    : backend_(std::move(backend)), package_(package), images_(package, *backend_) {
  images_.SetHighDensity(backend_->DpiScale() >= 1.5);
}

Toolkit::~Toolkit() = default;

Toolkit& Toolkit::Global() {
  if (!Slot()) {
    LOG(INFO) << " UI toolkit used before it was installed";
    el::Loggers::getLogger("default")->flush();
    std::abort();
  }
  return *Slot();
}

bool Toolkit::IsInstalled() { return Slot() != nullptr; }

void Toolkit::Install(std::unique_ptr<IBackend> backend, ResourcePackage& package) {
  Slot().reset();
  Slot() = std::make_unique<Toolkit>(std::move(backend), package);
}

void Toolkit::Uninstall() { Slot().reset(); }

double Toolkit::Scale() const {
  const double s = backend_->DpiScale();
  return s > 0.0 ? s : 1.0;
}

}  // namespace uikit
