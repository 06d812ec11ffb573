// The dialog rows of the system library: message boxes, the common file dialogs and
// the folder browser, all through the user-interface layer so that every backend (and
// the answers tests give) serves them.
#include <string>

#include "platform/ui.h"
#include "script/lib/arguments.h"
#include "script/lib/file_dialog_request.h"
#include "script/lib/system_rows.h"

namespace script {
namespace {

namespace ui = platform::ui;

void MessageBoxBuiltin(Call& call) {
  const std::string text(Unquoted(call, 1));
  const std::string caption(Unquoted(call, 2));
  std::uint32_t style = static_cast<std::uint32_t>(call.Flags(3, {{"Ok", 0},
                                                                  {"OkCancel", 1},
                                                                  {"AbortRetryIgnore", 2},
                                                                  {"YesNoCancel", 3},
                                                                  {"YesNo", 4},
                                                                  {"RetryCancel", 5},
                                                                  {"Stop", 16},
                                                                  {"Error", 16},
                                                                  {"Question", 32},
                                                                  {"Exclamation", 48},
                                                                  {"Exclaimation", 48},
                                                                  {"Warning", 48},
                                                                  {"Information", 64},
                                                                  {"RightJustified", 524288}}));
  style |= ui::kMbSetForeground;
  call.WriteInteger(ui::MessageBox(nullptr, text, caption, style));
}

// user data 0: the open dialog, 1: the save dialog.
void BrowseFilenameBuiltin(Call& call) {
  const std::string initial(Unquoted(call, 1));
  const std::string title(Unquoted(call, 2));
  const std::string filter(Unquoted(call, 3));
  const auto flags = static_cast<std::uint32_t>(call.Flags(4, {{"ReadOnly", 1},
                                                               {"OverwritePrompt", 2},
                                                               {"HideReadOnly", 4},
                                                               {"NoChangeDir", 8},
                                                               {"NoValidate", 256},
                                                               {"PathMustExist", 2048},
                                                               {"FileMustExist", 4096},
                                                               {"CreatePrompt", 8192}}));
  const bool save = reinterpret_cast<intptr_t>(call.user_data) == 1;
  if (std::optional<std::string> chosen =
          ui::BrowseForFile(MakeFileDialogRequest(save, initial, title, filter, flags)))
    WriteQuoted(call, *chosen);
}

void BrowseForDirectoryBuiltin(Call& call) {
  const std::string prompt = call.Has(1) ? std::string(Unquoted(call, 1)) : std::string();
  std::optional<std::string> chosen =
      ui::BrowseForFolder(prompt.empty() ? "Please choose a directory." : prompt);
  if (chosen) call.Write(*chosen);
}

const BuiltinRow kDialogBuiltins[] = {
    {"MessageBox", MessageBoxBuiltin, 0, 1},
    {"BrowseOpenFilename", BrowseFilenameBuiltin, 0, 1},
    {"BrowseSaveFilename", BrowseFilenameBuiltin, 1, 1},
    {"BrowseForDirectory", BrowseForDirectoryBuiltin, 0, 0},
};

}  // namespace

void RegisterDialogBuiltins(Instance* instance) { RegisterTable(instance, kDialogBuiltins); }

}  // namespace script
