// The request the browse built-ins hand to the file dialogs: the initial directory and
// file from one path, the "+"-separated filter as Win32 takes it, the flags.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ui.h"

namespace script {

inline constexpr std::uint32_t kOfnHideReadOnly = 0x4;
inline constexpr std::uint32_t kOfnExplorer = 0x80000;

// `filter` "Text files+*.txt+All files+*.*": each "+" becomes a zero and the list is
// closed by one more; an empty filter or title is not passed. The open dialog also
// hides the read-only box.
platform::ui::FileDialogRequest MakeFileDialogRequest(bool save, std::string_view initial_path,
                                                      std::string_view title,
                                                      std::string_view filter, std::uint32_t flags);

}  // namespace script
