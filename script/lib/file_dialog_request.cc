// File dialog requests.
#include "script/lib/file_dialog_request.h"

#include <string>

#include "script/lib/path_parts.h"

namespace script {

platform::ui::FileDialogRequest MakeFileDialogRequest(bool save, std::string_view initial_path,
                                                      std::string_view title,
                                                      std::string_view filter,
                                                      std::uint32_t flags) {
  platform::ui::FileDialogRequest request;
  request.save = save;
  const std::string initial = NormaliseSlashes(initial_path, true);
  const std::size_t slash = initial.rfind('\\');
  if (slash == std::string::npos) {
    request.initial_file = initial;
  } else {
    request.initial_directory = initial.substr(0, slash);
    request.initial_file = initial.substr(slash + 1);
  }
  // The name buffer holds 260 characters.
  if (request.initial_file.size() >= 260) request.initial_file.resize(259);
  request.title = std::string(title);
  if (!filter.empty()) {
    std::string list(filter);
    for (char& c : list)
      if (c == '+') c = '\0';
    list.push_back('\0');
    list.push_back('\0');
    request.filter = list;
  }
  request.flags = flags | kOfnExplorer | (save ? 0 : kOfnHideReadOnly);
  return request;
}

}  // namespace script
