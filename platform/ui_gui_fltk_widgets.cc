// The windowed backend's own widgets and pictures: plain static text, the push button
// with the default frame, the four message-box symbols, the progress window's picture
// and the window icon. Everything is drawn here in code.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cmath>

#include "platform/ui_gui_fltk.h"

namespace platform::ui::internal::gui {
namespace {

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Coverage of a pixel by a disc, softened over one pixel so edges are not jagged.
double DiscCoverage(double x, double y, double cx, double cy, double radius) {
  return std::clamp(radius - std::hypot(x - cx, y - cy) + 0.5, 0.0, 1.0);
}

// The letter Z in a box: top bar, bottom bar and the diagonal between them.
double ZCoverage(double x, double y, double left, double top, double size) {
  double u = (x - left) / size, v = (y - top) / size;
  if (u < 0 || u > 1 || v < 0 || v > 1) return 0;
  double stroke = 0.2;
  if (v < stroke || v > 1 - stroke) return 1;
  double diagonal = std::fabs(u - (1 - v)) * size;  // distance along x, in pixels
  return std::clamp(stroke * size * 0.75 - diagonal + 0.5, 0.0, 1.0);
}

const Rgb kNight = {14, 20, 64};
const Rgb kSky = {38, 78, 158};
const Rgb kGold = {250, 200, 60};
const Rgb kPlanetLight = {255, 170, 90};
const Rgb kPlanetDark = {120, 40, 30};
const Rgb kRing = {210, 215, 230};

// Spreads pixel positions evenly and without visible pattern, for placing stars.
unsigned Scatter(int x, int y) {
  unsigned h = static_cast<unsigned>(x) * 0x9E3779B1u ^ static_cast<unsigned>(y) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

unsigned char Channel(double value) {
  return static_cast<unsigned char>(std::clamp(std::lround(value), 0L, 255L));
}

std::unique_ptr<Fl_RGB_Image> ImageOf(unsigned char* pixels, int width, int height, int depth) {
  auto image = std::make_unique<Fl_RGB_Image>(pixels, width, height, depth);
  image->alloc_array = 1;  // the image frees the pixels
  return image;
}

}  // namespace

DialogUnits MeasureDialogUnits() {
  fl_font(kDialogFont, kDialogFontSize);
  DialogUnits units;
  // The average width of the alphabet, rounded, as dialog templates are scaled.
  double alphabet = fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  units.char_width = std::max(1, static_cast<int>((alphabet + 26) / 52));
  units.char_height = std::max(1, fl_height());
  return units;
}

StaticText::StaticText(int x, int y, int w, int h, Fl_Align align)
    : Fl_Widget(x, y, w, h), text_align_(align) {
  box(FL_NO_BOX);
  labelfont(kDialogFont);
  labelsize(kDialogFontSize);
}

void StaticText::text(const std::string& value) {
  if (value == text_) return;
  text_ = value;
  redraw();
}

void StaticText::draw() {
  // Without a box, the parent's background shows through only after it is redrawn.
  fl_color(parent() ? parent()->color() : color());
  fl_rectf(x(), y(), w(), h());
  fl_font(labelfont(), labelsize());
  fl_color(labelcolor());
  fl_push_clip(x(), y(), w(), h());
  fl_draw(text_.c_str(), x(), y(), w(), h(), text_align_ | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr,
          0);
  fl_pop_clip();
}

PushButton::PushButton(int x, int y, int w, int h, const char* label)
    : Fl_Button(x, y, w, h, label) {
  labelfont(kDialogFont);
  labelsize(kDialogFontSize);
}

void PushButton::draw() {
  Fl_Button::draw();
  bool focused = Fl::focus() == this;
  bool focus_elsewhere = dynamic_cast<PushButton*>(Fl::focus()) != nullptr;
  if (focused || (default_ && !focus_elsewhere)) {
    fl_color(FL_BLACK);
    fl_rect(x(), y(), w(), h());
  }
}

MessageIcon::MessageIcon(int x, int y, std::uint32_t icon_style)
    : Fl_Widget(x, y, 32, 32), icon_style_(icon_style & kMbIconMask) {
  box(FL_NO_BOX);
}

void MessageIcon::draw() {
  int x0 = x(), y0 = y();
  auto glyph = [&](const char* text, Fl_Font font, Fl_Color color, int dy) {
    fl_font(font, 24);
    fl_color(color);
    fl_draw(text, x0, y0 + dy, 32, 28, FL_ALIGN_CENTER, nullptr, 0);
  };
  auto balloon = [&] {
    // A speech balloon: a white disc with a small tail at the lower left.
    fl_color(FL_WHITE);
    fl_pie(x0 + 1, y0, 29, 27, 0, 360);
    fl_polygon(x0 + 6, y0 + 20, x0 + 14, y0 + 24, x0 + 3, y0 + 31);
    fl_color(FL_BLACK);
    fl_arc(x0 + 1, y0, 29, 27, 0, 360);
    fl_line(x0 + 6, y0 + 22, x0 + 3, y0 + 31);
    fl_line(x0 + 3, y0 + 31, x0 + 13, y0 + 25);
  };
  switch (icon_style_) {
    case kMbIconStop:
      fl_color(fl_rgb_color(224, 0, 0));
      fl_pie(x0 + 1, y0 + 1, 30, 30, 0, 360);
      fl_color(fl_rgb_color(128, 0, 0));
      fl_arc(x0 + 1, y0 + 1, 30, 30, 0, 360);
      fl_color(FL_WHITE);
      fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
      fl_line(x0 + 10, y0 + 10, x0 + 22, y0 + 22);
      fl_line(x0 + 22, y0 + 10, x0 + 10, y0 + 22);
      fl_line_style(0);
      break;
    case kMbIconQuestion:
      balloon();
      glyph("?", FL_HELVETICA_BOLD, fl_rgb_color(0, 0, 192), 0);
      break;
    case kMbIconExclamation:
      fl_color(fl_rgb_color(255, 220, 0));
      fl_polygon(x0 + 16, y0 + 1, x0 + 31, y0 + 29, x0 + 1, y0 + 29);
      fl_color(FL_BLACK);
      fl_loop(x0 + 16, y0 + 1, x0 + 31, y0 + 29, x0 + 1, y0 + 29);
      glyph("!", FL_HELVETICA_BOLD, FL_BLACK, 4);
      break;
    case kMbIconInformation:
      balloon();
      glyph("i", FL_TIMES_BOLD, fl_rgb_color(0, 0, 192), 0);
      break;
  }
}

std::unique_ptr<Fl_RGB_Image> MakePicture(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  auto* pixels = new unsigned char[static_cast<std::size_t>(width) * height * 3];
  double planet_x = width * 0.72, planet_y = height * 0.55, radius = height * 0.3;
  double z_size = height * 0.62, z_left = width * 0.1, z_top = (height - z_size) / 2;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double px = x + 0.5, py = y + 0.5;
      Rgb color = Mix(kNight, kSky, static_cast<double>(y) / height);
      // A few fixed stars.
      if (Scatter(x, y) % 41 == 0) color = Mix(color, {255, 255, 255}, 0.8);
      double ring = std::hypot((px - planet_x) / (radius * 1.9), (py - planet_y) / (radius * 0.45));
      double ring_cover = std::clamp((0.14 - std::fabs(ring - 1)) * radius * 1.5, 0.0, 1.0);
      bool ring_in_front = py > planet_y;
      if (!ring_in_front) color = Mix(color, kRing, ring_cover);
      double planet = DiscCoverage(px, py, planet_x, planet_y, radius);
      if (planet > 0) {
        double light = std::hypot(px - (planet_x - radius * 0.4), py - (planet_y - radius * 0.4));
        color = Mix(color, Mix(kPlanetLight, kPlanetDark, light / (radius * 1.6)), planet);
      }
      if (ring_in_front) color = Mix(color, kRing, ring_cover);
      color = Mix(color, kGold, ZCoverage(px, py, z_left, z_top, z_size));
      unsigned char* out = pixels + (static_cast<std::size_t>(y) * width + x) * 3;
      out[0] = Channel(color.r);
      out[1] = Channel(color.g);
      out[2] = Channel(color.b);
    }
  }
  return ImageOf(pixels, width, height, 3);
}

std::unique_ptr<Fl_RGB_Image> MakeWindowIcon(int size) {
  auto* pixels = new unsigned char[static_cast<std::size_t>(size) * size * 4];
  double corner = size * 0.2, inset = size * 0.2;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double px = x + 0.5, py = y + 0.5;
      // A blue tile with rounded corners, a gold Z on it.
      double dx = std::max({corner - px, px - (size - corner), 0.0});
      double dy = std::max({corner - py, py - (size - corner), 0.0});
      double alpha = std::clamp(corner - std::hypot(dx, dy) + 0.5, 0.0, 1.0);
      Rgb color = Mix(kSky, kNight, static_cast<double>(y) / size);
      color = Mix(color, kGold, ZCoverage(px, py, inset, inset, size - 2 * inset));
      unsigned char* out = pixels + (static_cast<std::size_t>(y) * size + x) * 4;
      out[0] = Channel(color.r);
      out[1] = Channel(color.g);
      out[2] = Channel(color.b);
      out[3] = Channel(alpha * 255);
    }
  }
  return ImageOf(pixels, size, size, 4);
}

void BringToForeground(Fl_Window* window) {
  window->show();
  Window xid = fl_xid(window);
  if (!xid) return;
  // The keyboard can only be given to a window once the server has mapped it.
  bool viewable = false;
  for (int tries = 0; tries < 40 && !viewable; ++tries) {
    XWindowAttributes attributes;
    XSync(fl_display, False);
    viewable =
        XGetWindowAttributes(fl_display, xid, &attributes) && attributes.map_state == IsViewable;
    if (!viewable) Fl::wait(0.025);
  }
  XRaiseWindow(fl_display, xid);
  // Ask a window manager, if there is one, to activate it; then take the focus.
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = XInternAtom(fl_display, "_NET_ACTIVE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 1;  // from an application
  event.xclient.data.l[1] = CurrentTime;
  Window root = RootWindow(fl_display, fl_screen);
  XSendEvent(fl_display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  if (viewable) XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
  XFlush(fl_display);
}

}  // namespace platform::ui::internal::gui
