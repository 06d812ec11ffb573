// GoToZOMA's resources: the string table (the game page of each time-zone hour), the
// dialog templates, the message texts and the network's addresses.
#pragma once

#include <string>

namespace zoma::launcher {

// String table entries 8000-8023: the game page for time-zone index 0-23.
inline constexpr int kPageAddressFirstId = 8000;
inline constexpr int kPageAddressCount = 24;
// LoadString's buffer: at most 519 characters and the terminator.
inline constexpr std::size_t kPageAddressBufferSize = 520;

/// The string resource, or null when the table has no such entry.
const char* LoadLauncherString(int id);

// The network's web site: its name as the dialogs show it, the main address users are
// sent to for the installer, and the main server's game page.
inline constexpr char kWebSiteName[] = "www.zoma.example";
inline constexpr char kMainWebAddress[] = "http://www.zoma.example/";
inline constexpr char kMainGamePage[] = "http://www.zoma.example/gotozoma.cgi";
inline constexpr char kEuropeanGamePage[] = "http://www.eu.zoma.example/gotozoma.cgi";

// Dialogs.
inline constexpr int kLookingForInstallerDialog = 106;
inline constexpr int kStartingBrowserDialog = 107;
std::string DialogText(int dialog_id);
inline constexpr char kDialogCaption[] = "GoToZOMA";

// The main window.
inline constexpr char kMainWindowClass[] = "MyMainWindowClass";
inline constexpr char kMainWindowTitle[] = "MyWindowClass window :)";
inline constexpr int kMainWindowIcon = 109;

// Message boxes.
inline constexpr char kStartupErrorCaption[] = "GoToZOMA";
/// "Unexpected error[n].  Something's seriously wrong with \nthe system. ..."
std::string UnexpectedErrorText(int number);
inline constexpr char kArgumentCountCaption[] = "INVALID ARGUMENT COUNT";
inline constexpr char kArgumentCountText[] = "Format is: GoToZOMA.exe <game_class_id>";
inline constexpr char kNonNumericCaption[] = "NON NUMERIC ARGUMENT";
inline constexpr char kNonNumericText[] = "First argument must be a number (the game class id)";
inline constexpr char kInstallerNotFoundCaption[] = "INSTALLER NOT FOUND";
inline constexpr char kInsertCdText[] = "Please put CD with ZOMA installer in CD drive";
std::string LookForInstallerText();
inline constexpr char kInstallFailureCaption[] = "INSTALL FAILURE";
inline constexpr char kInstallFailureText[] = "Installation failed or was cancelled";
inline constexpr char kShellErrorCaption[] = "ShellExecute() error";
std::string BrowserFailureText(const std::string& page_address);

}  // namespace zoma::launcher
