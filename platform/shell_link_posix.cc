// Writing shell links. Layout (little-endian; offsets in the published format):
//
//   header      HeaderSize=0x4C, LinkCLSID, LinkFlags, FileAttributes, CreationTime,
//               AccessTime, WriteTime, FileSize, IconIndex=0, ShowCommand=1, HotKey=0,
//               three reserved fields = 0
//   LinkInfo    LinkInfoSize, LinkInfoHeaderSize=0x1C, LinkInfoFlags=1
//               (VolumeIDAndLocalBasePath), VolumeIDOffset, LocalBasePathOffset,
//               CommonNetworkRelativeLinkOffset=0, CommonPathSuffixOffset;
//               VolumeID: VolumeIDSize, DriveType, DriveSerialNumber,
//               VolumeLabelOffset=0x10, label NUL; LocalBasePath NUL; suffix "" NUL
//   StringData  those the flags name: CountCharacters (16 bits), that many ANSI characters, no NUL
//   ExtraData   TerminalBlock (32 bits, 0)
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell_link.h"
#include "platform/sysinfo.h"
#include "platform/volume.h"

namespace platform {
namespace {

constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasName = 0x04;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;

constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void Put16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void PutTime(std::string& out, const FileTime& time) {
  Put32(out, time.low_date_time);
  Put32(out, time.high_date_time);
}

void Set32(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutCountedString(std::string& out, const std::string& text) {
  std::size_t n = std::min<std::size_t>(text.size(), 0xFFFF);
  Put16(out, static_cast<std::uint32_t>(n));
  out.append(text, 0, n);
}

// The text up to its first NUL: C strings end there on Windows too.
std::string CString(const std::string& text) { return text.substr(0, text.find('\0')); }

std::string EncodeLinkInfo(const std::string& target) {
  std::uint32_t drive_type = kDriveUnknown;
  VolumeInformation volume;
  if (target.size() >= 2 && target[1] == ':') {
    std::string root = target.substr(0, 2) + "\\";
    drive_type = GetDriveType(root);
    GetVolumeInformation(root.c_str(), &volume);
  }
  std::string volume_id;
  Put32(volume_id, 0);  // size, set below
  Put32(volume_id, drive_type);
  Put32(volume_id, volume.serial);
  Put32(volume_id, 0x10);
  volume_id += volume.label;
  volume_id.push_back('\0');
  Set32(volume_id, 0, static_cast<std::uint32_t>(volume_id.size()));

  constexpr std::uint32_t kHeaderSize = 0x1C;
  const std::uint32_t volume_offset = kHeaderSize;
  const auto base_offset = static_cast<std::uint32_t>(volume_offset + volume_id.size());
  const auto suffix_offset = static_cast<std::uint32_t>(base_offset + target.size() + 1);
  const std::uint32_t size = suffix_offset + 1;
  std::string info;
  Put32(info, size);
  Put32(info, kHeaderSize);
  Put32(info, 1);  // VolumeIDAndLocalBasePath
  Put32(info, volume_offset);
  Put32(info, base_offset);
  Put32(info, 0);
  Put32(info, suffix_offset);
  info += volume_id;
  info += target;
  info.push_back('\0');
  info.push_back('\0');  // the empty common path suffix
  return info;
}

}  // namespace

std::string EncodeShellLink(const ShellLink& link) {
  const std::string target = CString(link.target);
  const std::string description = CString(link.description).substr(0, kMaxLinkDescription);
  const std::string directory = CString(link.working_directory);
  const std::string arguments = CString(link.arguments);

  FindData data;
  bool found = false;
  if (!target.empty() && target.find_first_of("*?") == std::string::npos) {
    FindHandle search = FindFirstFile(target, &data);
    found = search.valid();
    FindClose(search);
  }
  // Empty strings are left out, as IShellLinkA leaves them: readers reject a NAME_STRING
  // of no characters.
  std::uint32_t flags = kHasLinkInfo;
  if (!description.empty()) flags |= kHasName;
  if (!directory.empty()) flags |= kHasWorkingDir;
  if (!arguments.empty()) flags |= kHasArguments;

  std::string out;
  Put32(out, 0x4C);
  out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
  Put32(out, flags);
  Put32(out, found ? data.attributes : 0);
  PutTime(out, found ? data.creation_time : FileTime{});
  PutTime(out, found ? data.last_access_time : FileTime{});
  PutTime(out, found ? data.last_write_time : FileTime{});
  Put32(out, found ? static_cast<std::uint32_t>(data.size) : 0);
  Put32(out, 0);  // icon index
  Put32(out, 1);  // SW_SHOWNORMAL
  Put16(out, 0);  // hot key
  Put16(out, 0);
  Put32(out, 0);
  Put32(out, 0);

  out += EncodeLinkInfo(target);
  if (flags & kHasName) PutCountedString(out, description);
  if (flags & kHasWorkingDir) PutCountedString(out, directory);
  if (flags & kHasArguments) PutCountedString(out, arguments);
  Put32(out, 0);  // terminal block
  return out;
}

bool SaveShellLink(const std::string& file, ShellLink link) {
  std::string target = CString(link.target);
  if (target.empty() || file.empty() || file.find('\0') != std::string::npos) {
    SetLastError(kErrorInvalidName);
    return false;
  }
  if (target.size() >= 2 && (target[0] == '\\' || target[0] == '/') &&
      (target[1] == '\\' || target[1] == '/')) {
    SetLastError(kErrorBadNetpath);
    return false;
  }
  Status status = kErrorSuccess;
  std::string full = GetFullPathName(target, &status);
  if (full.empty() || full.size() >= kMaxPath) {
    SetLastError(full.empty() ? status : kErrorFilenameExcedRange);
    return false;
  }
  link.target = full;
  std::string bytes = EncodeShellLink(link);
  File out;
  if (!out.Open(file, kGenericWrite, Disposition::kCreateAlways)) return false;
  std::uint32_t written = 0;
  if (!out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) ||
      written != bytes.size()) {
    out.Close();
    DeleteFile(file);
    return false;
  }
  out.Close();
  return true;
}

}  // namespace platform
