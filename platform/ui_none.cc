// The silent backend: shows nothing. Message boxes take their answers, in order, from
// ZOMA_UI_ANSWERS ("IDYES,IDOK" or numbers), then their default button. A dialog takes
// an answer of the form "path:C:\dir\file" (or "cancel").
#include <cstdlib>
#include <deque>
#include <mutex>

#include "platform/ui_backend.h"

namespace platform::ui::internal {
namespace {

class NoneBackend : public Backend {
 public:
  const char* Name() const override { return "none"; }

  int ShowMessageBox(const std::string&, const std::string&, std::uint32_t style) override {
    std::optional<std::string> answer = NextAnswer();
    int result = answer ? ResultFromName(*answer) : 0;
    // An answer the box has no button for counts as its default.
    for (const Button& button : ButtonsOf(style))
      if (button.result == result) return result;
    return DefaultResult(style);
  }

  void ShowProgress(const ProgressState&) override {}
  void UpdateProgress(const ProgressState&) override {}
  void CloseProgress() override {}
  void Poll(const std::function<void(Command)>&) override {}

  std::optional<std::string> BrowseForFile(const FileDialogRequest&) override {
    return PathAnswer();
  }
  std::optional<std::string> BrowseForFolder(const std::string&) override { return PathAnswer(); }

 private:
  std::optional<std::string> NextAnswer() {
    std::lock_guard<std::mutex> lock(mutex_);
    // The list is read again whenever the variable changes, so that one process can
    // be given new answers.
    const char* list = std::getenv("ZOMA_UI_ANSWERS");
    std::string text = list ? list : "";
    if (text != list_text_) {
      list_text_ = text;
      answers_.clear();
      for (std::size_t start = 0; start < text.size();) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        answers_.push_back(text.substr(start, comma - start));
        start = comma + 1;
      }
    }
    if (answers_.empty()) return std::nullopt;
    std::string answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::optional<std::string> PathAnswer() {
    std::optional<std::string> answer = NextAnswer();
    if (answer && answer->rfind("path:", 0) == 0) return answer->substr(5);
    return std::nullopt;
  }

  std::mutex mutex_;
  std::string list_text_;
  std::deque<std::string> answers_;
};

}  // namespace

std::unique_ptr<Backend> CreateNoneBackend() { return std::make_unique<NoneBackend>(); }

}  // namespace platform::ui::internal
