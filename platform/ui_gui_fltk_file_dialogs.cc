// The open and save dialogs and the folder browser, on FLTK's own file chooser (which
// needs no toolkit beyond FLTK). Callers speak in Windows paths: the initial directory
// is found through the prefix's drive map and the chosen path is given back with the
// drive letter whose root holds it (Z: for the host's root).
#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/ui_gui_fltk.h"

namespace platform::ui::internal::gui {
namespace {

constexpr std::uint32_t kOfnOverwritePrompt = 0x2;
constexpr std::uint32_t kOfnFileMustExist = 0x1000;

bool Exists(const std::string& host_path) {
  struct stat info;
  return stat(host_path.c_str(), &info) == 0;
}

// Runs the chooser until it is closed; the chosen host path, or nullopt on cancel.
std::optional<std::string> RunChooser(Fl_File_Chooser& chooser, const IdleHook& between_events) {
  chooser.show();
  while (chooser.shown()) {
    Fl::wait();
    if (between_events) between_events();
  }
  if (chooser.count() < 1 || !chooser.value()) return std::nullopt;
  std::string value = chooser.value();
  if (value.empty()) return std::nullopt;
  return value;
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

}  // namespace

std::string ChooserFilterOf(const std::string& win32_filter) {
  // Split at zero bytes; an empty part ends the list.
  std::vector<std::string> parts;
  for (std::size_t start = 0; start < win32_filter.size();) {
    std::size_t end = win32_filter.find('\0', start);
    if (end == std::string::npos) end = win32_filter.size();
    if (end == start) break;
    parts.push_back(win32_filter.substr(start, end - start));
    start = end + 1;
  }
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string description = parts[i];
    // "Text files (*.txt)": the chooser adds the pattern itself.
    std::size_t open = description.rfind(" (");
    if (open != std::string::npos && description.back() == ')') description.resize(open);
    std::vector<std::string> patterns;
    for (std::size_t start = 0; start <= parts[i + 1].size();) {
      std::size_t end = parts[i + 1].find(';', start);
      if (end == std::string::npos) end = parts[i + 1].size();
      std::string pattern = parts[i + 1].substr(start, end - start);
      while (!pattern.empty() && pattern.front() == ' ') pattern.erase(0, 1);
      while (!pattern.empty() && pattern.back() == ' ') pattern.pop_back();
      if (pattern == "*.*") pattern = "*";
      if (!pattern.empty()) patterns.push_back(pattern);
      start = end + 1;
    }
    if (patterns.empty()) continue;
    std::string joined = patterns[0];
    if (patterns.size() > 1) {
      joined = "{";
      for (std::size_t p = 0; p < patterns.size(); ++p) joined += (p ? "," : "") + patterns[p];
      joined += "}";
    }
    if (!out.empty()) out += "\t";
    out += description + " (" + joined + ")";
  }
  return out;
}

std::optional<std::string> RunFileChooser(const FileDialogRequest& request,
                                          const IdleHook& between_events) {
  std::string directory = request.initial_directory.empty()
                              ? CurrentDirectory()
                              : MapToHostPath(request.initial_directory);
  std::string filter = ChooserFilterOf(request.filter);
  std::string title =
      request.title.empty() ? std::string(request.save ? "Save As" : "Open") : request.title;
  Fl_File_Chooser chooser(directory.c_str(), filter.empty() ? nullptr : filter.c_str(),
                          request.save ? Fl_File_Chooser::CREATE : Fl_File_Chooser::SINGLE,
                          title.c_str());
  chooser.preview(0);
  if (!filter.empty()) chooser.filter_value(0);
  if (!request.initial_file.empty())
    chooser.value((directory + "/" + request.initial_file).c_str());
  for (;;) {
    std::optional<std::string> chosen = RunChooser(chooser, between_events);
    if (!chosen) return std::nullopt;
    std::string windows = ToWindowsPath(*chosen);
    if (!request.save && (request.flags & kOfnFileMustExist) && !Exists(*chosen)) {
      RunMessageBox(windows + "\nFile not found.\nPlease verify the correct file name was given.",
                    title, kMbOk | kMbIconExclamation, between_events);
      continue;
    }
    if (request.save && (request.flags & kOfnOverwritePrompt) && Exists(*chosen) &&
        RunMessageBox(windows + " already exists.\nDo you want to replace it?", title,
                      kMbYesNo | kMbIconExclamation, between_events) != kIdYes)
      continue;
    return windows;
  }
}

std::optional<std::string> RunFolderChooser(const std::string& prompt,
                                            const IdleHook& between_events) {
  std::string directory = CurrentDirectory();
  Fl_File_Chooser chooser(directory.c_str(), nullptr, Fl_File_Chooser::DIRECTORY, prompt.c_str());
  chooser.preview(0);
  std::optional<std::string> chosen = RunChooser(chooser, between_events);
  if (!chosen) return std::nullopt;
  return ToWindowsPath(*chosen);
}

}  // namespace platform::ui::internal::gui
