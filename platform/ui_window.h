// Windows with message queues, the Win32 way: a program registers a window class with
// its window procedure, creates (usually hidden) windows, and each thread that owns a
// window runs a message loop (GetMessage, DispatchMessage). Messages are posted or
// sent between threads, registered by name, and timers post WM_TIMER to their window.
// Modeless text dialogs are windows too: the backend draws them (real windows in the
// gui backend, a line on the terminal in the text backend, nothing in the none backend)
// and every backend records them in the transcript.
//
// The first thread that creates an ordinary window is the user interface's thread:
// while it waits in GetMessage it also keeps the backend's windows alive. Other threads
// may create dialogs and pump their own queues; their dialogs are drawn through it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform::ui {

/// An HWND: 0 is no window.
using WindowHandle = std::uintptr_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmPaint = 0x000F;
inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmQuit = 0x0012;
inline constexpr std::uint32_t kWmInitDialog = 0x0110;
inline constexpr std::uint32_t kWmTimer = 0x0113;
inline constexpr std::uint32_t kWmUser = 0x0400;

/// MSG.
struct Message {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  WParam wparam = 0;
  LParam lparam = 0;
};

using WindowProcedure = std::function<LResult(WindowHandle, std::uint32_t, WParam, LParam)>;

/// WNDCLASS, with what this layer uses of it.
struct WindowClass {
  std::string name;
  std::uint32_t style = 0;
  int icon = 0;  // a resource number, kept for the record
  WindowProcedure procedure;
};

/// RegisterClassA: false (kErrorClassAlreadyExists) for a name taken, ignoring case;
/// false (kErrorInvalidParameter) without a name or a procedure.
bool RegisterClass(const WindowClass& window_class);

/// CreateWindowA for a registered class: the window belongs to the calling thread.
/// Windows created here are never shown (no style bit makes them visible); 0 and
/// kErrorClassDoesNotExist for an unknown class.
WindowHandle CreateWindow(const std::string& class_name, const std::string& title,
                          std::uint32_t style, int width, int height);

/// DestroyWindow: sends WM_DESTROY, removes the window's timers and pending messages.
/// A dialog disappears from the screen.
bool DestroyWindow(WindowHandle window);
bool IsWindow(WindowHandle window);

/// DefWindowProcA: WM_CLOSE destroys the window; everything else answers 0.
LResult DefWindowProc(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam);

/// PostMessageA: queues the message for the window's thread; false for no window.
bool PostMessage(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam);

/// SendMessageA: runs the window procedure on the window's thread and waits for its
/// answer (at once when called there). 0 for no window.
LResult SendMessage(WindowHandle window, std::uint32_t message, WParam wparam, LParam lparam);

/// PostQuitMessage: the calling thread's GetMessage returns 0 with the code in wparam
/// once the messages posted before it are taken.
void PostQuitMessage(int exit_code);

/// GetMessageA for all windows of the calling thread: waits for a posted message or a
/// due timer, running sent messages meanwhile. 0 for WM_QUIT.
int GetMessage(Message* message);

/// PeekMessageA with PM_REMOVE or PM_NOREMOVE: like GetMessage without waiting.
bool PeekMessage(Message* message, bool remove);

/// DispatchMessageA: calls the procedure of the message's window.
LResult DispatchMessage(const Message& message);

/// Waits until the calling thread has a message to take or `timeout_ms` pass; true
/// when one is there (MsgWaitForMultipleObjects on input only).
bool WaitForThreadMessage(int timeout_ms);

/// RegisterWindowMessageA: the same number (0xC000-0xFFFF) for the same name, ignoring
/// case, for the life of the process; 0 for an empty name.
std::uint32_t RegisterWindowMessage(const std::string& name);

/// SetTimer: WM_TIMER (wparam = id) reaches the window every `elapse_ms` until
/// KillTimer; setting an id again restarts it. The id on success, 0 on failure.
std::uintptr_t SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t elapse_ms);
bool KillTimer(WindowHandle window, std::uintptr_t id);

/// A dialog template with one line of text.
struct TextDialogTemplate {
  int resource_id = 0;
  std::string caption;
  std::string text;
  std::string font = "Times New Roman";
};

/// CreateDialogParamA for a one-line text dialog, shown at once. The procedure (may be
/// empty) gets WM_INITDIALOG with `init_param` and then the dialog's messages, on the
/// calling thread; a message it answers with 0 goes to DefWindowProc.
WindowHandle CreateTextDialog(const TextDialogTemplate& dialog, WindowHandle owner,
                              WindowProcedure procedure, LParam init_param);

/// What the shell does when a disc arrives in a drive: it asks the top-level windows
/// with the registered "QueryCancelAutoPlay" message whether to stay quiet, and records
/// the answer in the transcript ("autoplay<TAB>D:<TAB>cancelled|allowed"). True when a
/// window cancelled AutoPlay. Tests trigger it through ZOMA_UI_MEDIA (see ui.h).
bool AnnounceMediaArrival(char drive_letter);

}  // namespace platform::ui
