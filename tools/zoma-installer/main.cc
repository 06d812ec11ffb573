// zoma-installer: the stand-in for the client installer that GoToZOMA finds on a CD.
// It "installs" the client software: the client program ZOMA.EXE that lies beside it
// on the disc goes to C:\ZOMA\System, the ".spi" launch-file type is registered with
// that program as its open command, and the installation's root is recorded. Without
// a ZOMA.EXE beside it the installation fails and nothing is changed (exit code 1).
//
//   zoma-installer [--target C:\DIR]
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/module.h"
#include "platform/registry.h"

namespace {

namespace reg = platform::reg;

constexpr char kFileType[] = "ZomaLaunchFile";

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool Fail(const std::string& what) {
  std::fprintf(stderr, "zoma-installer: %s\n", what.c_str());
  return false;
}

bool Install(const std::string& target) {
  std::string source = DirectoryOf(platform::GetModuleFileName(nullptr)) + "\\ZOMA.EXE";
  std::uint32_t attributes = platform::GetFileAttributes(source);
  if (attributes == platform::kInvalidFileAttributes ||
      (attributes & platform::kFileAttributeDirectory))
    return Fail("the client program " + source + " is missing from the disc");
  std::string system = target + "\\System";
  std::string program = system + "\\ZOMA.EXE";
  platform::CreateDirectory(target);
  platform::CreateDirectory(system);
  if (!platform::CopyFile(source, program, false))
    return Fail("could not copy the client program to " + program);
  std::string classes = "HKEY_LOCAL_MACHINE\\Software\\Classes\\";
  std::string command = "\"" + program + "\" \"%1\"";
  if (reg::WriteString(classes + ".spi", "", kFileType) != platform::kErrorSuccess ||
      reg::WriteString(classes + kFileType, "", "Zoma launch file") != platform::kErrorSuccess ||
      reg::WriteString(classes + kFileType + "\\Shell\\Open\\command", "", command) !=
          platform::kErrorSuccess ||
      reg::WriteString("HKEY_LOCAL_MACHINE\\Software\\Norvance\\Zoma\\Main", "Root Directory",
                       target) != platform::kErrorSuccess)
    return Fail("could not register the launch-file type");
  std::printf("installed %s\nregistered .spi: %s\n", program.c_str(), command.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string target = "C:\\ZOMA";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--target") == 0 && i + 1 < argc) {
      target = argv[++i];
    } else {
      std::fprintf(stderr, "usage: zoma-installer [--target C:\\DIR]\n");
      return 64;
    }
  }
  while (target.size() > 3 && (target.back() == '\\' || target.back() == '/')) target.pop_back();
  return Install(target) ? 0 : 1;
}
