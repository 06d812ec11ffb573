// Pieces of the windowed backend shared between its files: the dialog font and its
// dialog-unit conversion, the widgets drawn our own way, and the modal dialogs. Every
// function here runs on the thread that holds the FLTK lock.
#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Widget.H>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_window.h"

namespace platform::ui::internal::gui {

// 8 points at 96 dots per inch, in a sans font: the dialogs' font.
inline constexpr Fl_Font kDialogFont = FL_HELVETICA;
inline constexpr Fl_Fontsize kDialogFontSize = 11;

// Converts dialog-template units to pixels at the dialog font's average character size.
struct DialogUnits {
  int char_width = 6;
  int char_height = 13;
  int X(int units) const { return (units * char_width + 2) / 4; }
  int Y(int units) const { return (units * char_height + 4) / 8; }
};
DialogUnits MeasureDialogUnits();

// Text drawn as given: no '@' symbols, no '&' underlines; wrapped at word boundaries.
class StaticText : public Fl_Widget {
 public:
  StaticText(int x, int y, int w, int h, Fl_Align align);
  void text(const std::string& value);
  const std::string& text() const { return text_; }

 protected:
  void draw() override;

 private:
  std::string text_;
  Fl_Align text_align_;
};

// A push button that, when it is the one Enter would press, wears the dark outer
// frame of a default button.
class PushButton : public Fl_Button {
 public:
  PushButton(int x, int y, int w, int h, const char* label);
  void default_button(bool value) { default_ = value; }
  bool default_button() const { return default_; }

 protected:
  void draw() override;

 private:
  bool default_ = false;
};

// The stop, question, exclamation and information symbols, 32 by 32.
class MessageIcon : public Fl_Widget {
 public:
  MessageIcon(int x, int y, std::uint32_t icon_style);

 protected:
  void draw() override;

 private:
  std::uint32_t icon_style_;
};

// The progress window's picture and the window icon, drawn pixel by pixel.
std::unique_ptr<Fl_RGB_Image> MakePicture(int width, int height);
std::unique_ptr<Fl_RGB_Image> MakeWindowIcon(int size);

// Raises a shown window and gives it the keyboard.
void BringToForeground(Fl_Window* window);

// The system sound for a box's symbol (MessageBeep takes the same numbers).
int BeepTypeFor(std::uint32_t style);

// Modal dialogs. `between_events` runs after each batch of events so that the progress
// window keeps showing updates while a dialog is open.
using IdleHook = std::function<void()>;
int RunMessageBox(const std::string& text, const std::string& caption, std::uint32_t style,
                  const IdleHook& between_events);
std::optional<std::string> RunFileChooser(const FileDialogRequest& request,
                                          const IdleHook& between_events);
std::optional<std::string> RunFolderChooser(const std::string& prompt,
                                            const IdleHook& between_events);

// A modeless dialog with one line of text in the template's font, centred on the
// screen; shown by the caller.
std::unique_ptr<Fl_Double_Window> MakeTextDialog(const TextDialogTemplate& dialog);

// "Text\0*.txt;*.log\0All\0*.*\0\0" -> "Text (*.{txt,log})\tAll (*)".
std::string ChooserFilterOf(const std::string& win32_filter);

}  // namespace platform::ui::internal::gui
