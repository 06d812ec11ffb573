// The windowed modeless text dialog: a small window with one line of text in the
// template's font (a serif face for "Times New Roman"), centred on the screen. It has
// no buttons; its owner closes it.
#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "platform/ascii.h"
#include "platform/ui_gui_fltk.h"

namespace platform::ui::internal::gui {
namespace {

class TextDialogWindow : public Fl_Double_Window {
 public:
  TextDialogWindow(const TextDialogTemplate& dialog)
      : Fl_Double_Window(100, 100), caption_(dialog.caption), text_(dialog.text) {
    font_ = StartsWithIgnoreCase(dialog.font, "Times") ? FL_TIMES : kDialogFont;
    fl_font(font_, kFontSize);
    int text_w = 0, text_h = 0;
    fl_measure(text_.c_str(), text_w, text_h, 0);
    DialogUnits units = MeasureDialogUnits();
    size(std::max(text_w + 2 * units.X(10), units.X(140)), text_h + 2 * units.Y(10));
    int screen_x, screen_y, screen_w, screen_h;
    Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h, 0);
    position(screen_x + (screen_w - w()) / 2, screen_y + (screen_h - h()) / 2);
    end();
    label(caption_.c_str());
    xclass("GoToZOMA");
    // The close box does nothing: the dialog lives as long as its owner wants.
    callback([](Fl_Widget*, void*) {});
  }

 protected:
  void draw() override {
    Fl_Double_Window::draw();
    fl_color(FL_FOREGROUND_COLOR);
    fl_font(font_, kFontSize);
    fl_draw(text_.c_str(), 0, 0, w(), h(), FL_ALIGN_CENTER, nullptr, 0);
  }

 private:
  static constexpr Fl_Fontsize kFontSize = 14;
  std::string caption_;
  std::string text_;
  Fl_Font font_ = kDialogFont;
};

}  // namespace

std::unique_ptr<Fl_Double_Window> MakeTextDialog(const TextDialogTemplate& dialog) {
  return std::make_unique<TextDialogWindow>(dialog);
}

}  // namespace platform::ui::internal::gui
