// The windowed message box: the style's buttons centred under the text, the symbol at
// the left, the default button focused. Enter presses the focused button, a button's
// underlined letter presses it, Escape and the window's close box answer Cancel where
// there is a Cancel button (OK in an OK-only box) and do nothing otherwise.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "platform/ui_backend.h"
#include "platform/ui_gui_fltk.h"

namespace platform::ui::internal::gui {
namespace {

constexpr int kMargin = 12;
constexpr int kIconSize = 32;

// What Escape and the close box answer; 0 when they do nothing.
int EscapeResult(const std::vector<Button>& buttons) {
  for (const Button& button : buttons)
    if (button.result == kIdCancel) return kIdCancel;
  if (buttons.size() == 1 && buttons[0].result == kIdOk) return kIdOk;
  return 0;
}

class MessageBoxWindow : public Fl_Double_Window {
 public:
  MessageBoxWindow(const std::string& text, const std::string& caption, std::uint32_t style)
      : Fl_Double_Window(100, 100), caption_(caption), buttons_(ButtonsOf(style)) {
    escape_result_ = EscapeResult(buttons_);
    DialogUnits units = MeasureDialogUnits();
    bool has_icon = (style & kMbIconMask) != 0;
    int text_x = kMargin + (has_icon ? kIconSize + kMargin : 0);

    // Wrap the text at half the screen's width (never narrower than 240 pixels).
    int screen_x, screen_y, screen_w, screen_h;
    Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h);
    int text_w = std::max(240, screen_w / 2), text_h = 0;
    fl_font(kDialogFont, kDialogFontSize);
    fl_measure(text.c_str(), text_w, text_h, 0);
    text_h = std::max(text_h, fl_height());
    int text_y = kMargin + (has_icon ? std::max(0, (kIconSize - text_h) / 2) : 0);

    int button_w = units.X(50), button_h = units.Y(14), gap = units.X(4);
    int row_w = static_cast<int>(buttons_.size()) * (button_w + gap) - gap;
    int content_bottom = std::max(text_y + text_h, has_icon ? kMargin + kIconSize : 0);
    int width = std::max({text_x + text_w + kMargin, row_w + 2 * kMargin, 160});
    int row_y = content_bottom + kMargin + 4;
    size(width, row_y + button_h + kMargin);
    position(screen_x + (screen_w - w()) / 2, screen_y + (screen_h - h()) / 2);

    begin();
    if (has_icon) new MessageIcon(kMargin, kMargin, style);
    auto* message = new StaticText(text_x, text_y, text_w, text_h,
                                   (style & kMbRight) ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT);
    message->text(text);
    int default_index = static_cast<int>((style & kMbDefMask) >> 8);
    if (default_index >= static_cast<int>(buttons_.size())) default_index = 0;
    int x = (width - row_w) / 2;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
      auto* button = new PushButton(x, row_y, button_w, button_h, buttons_[i].label);
      button->callback(OnButton, this);
      button->default_button(static_cast<int>(i) == default_index);
      widgets_.push_back(button);
      x += button_w + gap;
    }
    end();
    default_ = widgets_[default_index];
    label(caption_.c_str());
    callback(OnClose, this);
    set_modal();
  }

  int result() const { return result_; }

  void Start() {
    show();
    Fl::focus(default_);
  }

  int handle(int event) override {
    if (event == FL_SHORTCUT) {
      int key = Fl::event_key();
      if (key == FL_Enter || key == FL_KP_Enter) {
        auto* focused = dynamic_cast<PushButton*>(Fl::focus());
        Press(focused && focused->window() == this ? focused : default_);
        return 1;
      }
      if (key == FL_Escape) {
        if (escape_result_) result_ = escape_result_;
        return 1;
      }
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  void Press(Fl_Widget* widget) {
    for (std::size_t i = 0; i < widgets_.size(); ++i)
      if (widgets_[i] == widget) result_ = buttons_[i].result;
  }

  static void OnButton(Fl_Widget* widget, void* data) {
    static_cast<MessageBoxWindow*>(data)->Press(widget);
  }
  static void OnClose(Fl_Widget*, void* data) {
    auto* self = static_cast<MessageBoxWindow*>(data);
    if (self->escape_result_) self->result_ = self->escape_result_;
  }

  std::string caption_;
  std::vector<Button> buttons_;
  std::vector<PushButton*> widgets_;
  PushButton* default_ = nullptr;
  int escape_result_ = 0;
  int result_ = 0;
};

}  // namespace

int BeepTypeFor(std::uint32_t style) {
  switch (style & kMbIconMask) {
    case kMbIconStop:
      return FL_BEEP_ERROR;
    case kMbIconQuestion:
      return FL_BEEP_QUESTION;
    case kMbIconExclamation:
      return FL_BEEP_MESSAGE;
    case kMbIconInformation:
      return FL_BEEP_NOTIFICATION;
  }
  return FL_BEEP_DEFAULT;
}

int RunMessageBox(const std::string& text, const std::string& caption, std::uint32_t style,
                  const IdleHook& between_events) {
  MessageBoxWindow box(text, caption, style);
  box.Start();
  if (style & kMbSetForeground) BringToForeground(&box);
  fl_beep(BeepTypeFor(style));
  while (box.result() == 0 && box.shown()) {
    Fl::wait();
    if (between_events) between_events();
  }
  box.hide();
  Fl::flush();
  // A box closed from outside answers as its default button would.
  return box.result() ? box.result() : DefaultResult(style);
}

}  // namespace platform::ui::internal::gui
