// Builds without the windowed backend.
#include "platform/ui_backend.h"

namespace platform::ui::internal {
std::unique_ptr<Backend> CreateGuiBackend() { return nullptr; }
}  // namespace platform::ui::internal
