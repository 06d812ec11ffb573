// The updater's string resources.
#include "updater/string_table.h"

#include <algorithm>
#include <iterator>

namespace zoma {
namespace {

struct Resource {
  int id;
  const char* text;
};

// Sorted by identifier.
constexpr Resource kResources[] = {
    {20015, "bytes prepared."},
    {20021,
     "The update has been cancelled.  Your software cannot run until the update has been "
     "completed succesfully.  The transfer will resume from this point."},
    {20040, "Updating %s..."},
    {20041, "Update of %s complete."},
    {20042, "Update failed."},
    {20043, "New directory: %s"},
    {20044, "Obsolete: %s"},
    {20045, "New file: %s"},
    {20046, "Update is available: %s."},
    {20048, "Updates: %s"},
    {20049, "Update canceled!"},
    {20050, "Transferring: %s"},
    {20051, "Installing: %s"},
    {20060, "Connecting to transmitter..."},
    {20061, "Requesting update..."},
    {20062, "Waiting for reply..."},
    {20063, "Receiving update response..."},
    {20065, "Installing update..."},
    {20066, "No update required."},
    {20067, "Failed to connect to the update server."},
    {20073, "Resurrecting file: %s"},
    {20074, "Deleting: %s"},
    {20075, "Resurrecting directory: %s"},
    {20076, "Replacing: %s"},
    {20077, "Installing %s savings due to compression."},
    {20082, "%s is missing."},
    {20083, "%s should be readable but isn't."},
    {20084, "%s should be writable, but isn't."},
    {20085, "%s should be a directory, not a file."},
    {20086, "%s should be a file, not a directory."},
    {20087, "Read error while verifying %s"},
    {20088, "%s has been modified."},
    {20102, "Starting repair..."},
    {20200,
     "Sorry, but the launcher encountered an unexpected failure.  Please try again--and if "
     "it continues to fail, contact our customer support."},
    {20203, "Correct version of the Winsock DLL (v1.1) not found!"},
    {20206, "Could not rename %s."},
    {20207, "Installation failed."},
    {20208, "Could not delete file %s!"},
    {20209, "%s: Can't read - cancelling!"},
    {20210, "Disk full while updating %s!"},
    {20211,
     "One of the Zoma Software channels is missing from the update server.  Please contact "
     "customer support at support@zoma.example."},
    {20212, "Local channel file missing: %s"},
    {20215, "Updating registry..."},
    {20216, "Access to transmitter denied. %s."},
    {20218, "%s bytes received."},
};

}  // namespace

const char* LoadResourceString(int id) {
  auto it = std::lower_bound(std::begin(kResources), std::end(kResources), id,
                             [](const Resource& r, int wanted) { return r.id < wanted; });
  return it != std::end(kResources) && it->id == id ? it->text : "";
}

std::string FormatWithText(const std::string& format, const std::string& argument) {
  std::size_t at = format.find("%s");
  if (at == std::string::npos) return format;
  return format.substr(0, at) + argument + format.substr(at + 2);
}

std::string FormatResourceString(int id, const std::string& argument) {
  return FormatWithText(LoadResourceString(id), argument);
}

}  // namespace zoma
