// The file-version rows of the version library: version information of files,
// self-registration of COM servers, shutdown and restart requests, and the
// update-control values a script leaves in the registry for the updater.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/boot.h"
#include "platform/module.h"
#include "platform/version_info.h"
#include "platform/version_resource.h"
#include "script/lib/arguments.h"
#include "script/libraries.h"

namespace script {
namespace {

// The SetRegistryValue handler as the system library registered it, found at
// registration so that a script's own SetRegistryValue cannot stand in for it.
Handler set_registry_value = nullptr;
void* set_registry_value_data = nullptr;

std::optional<std::string> VersionBlockOf(const std::string& path) {
  const std::uint32_t size = platform::GetFileVersionInfoSize(path);
  if (size == 0) return std::nullopt;
  std::string block(size, '\0');
  if (!platform::GetFileVersionInfo(path, size, block.data())) return std::nullopt;
  return block;
}

std::optional<std::string> Query(const std::string& block, const std::string& sub_block) {
  return platform::VerQueryValue(block.data(), static_cast<std::uint32_t>(block.size()), sub_block);
}

// The string table named by the first language and code-page pair, as "%04hX%04hX".
std::optional<std::string> FirstTranslation(const std::string& block) {
  std::optional<std::string> pairs = Query(block, "\\VarFileInfo\\Translation");
  if (!pairs || pairs->size() < 4) return std::nullopt;
  const auto word = [&](int at) {
    return static_cast<unsigned>(static_cast<unsigned char>((*pairs)[at]) |
                                 static_cast<unsigned char>((*pairs)[at + 1]) << 8);
  };
  char name[9];
  std::snprintf(name, sizeof name, "%04X%04X", word(0), word(2));
  return std::string(name);
}

// Every "/" becomes "\", runs of "\" after the first character shrink to one, and a
// trailing "\" goes.
std::string NormaliseSlashes(std::string_view path) {
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i] == '/' ? '\\' : path[i];
    if (c == '\\' && i > 0 && !out.empty() && out.back() == '\\' && out.size() > 1) continue;
    out.push_back(c);
  }
  if (out.size() > 1 && out.back() == '\\') out.pop_back();
  return out;
}

// user_data: 0 DllRegisterServer, 1 DllUnregisterServer.
void SelfRegisterBuiltin(Call& call) {
  const std::string path = NormaliseSlashes(Unquoted(call, 1));
  const char* entry_name = call.user_data ? "DllUnregisterServer" : "DllRegisterServer";
  std::optional<std::string> block = VersionBlockOf(path);
  std::optional<std::string> table = block ? FirstTranslation(*block) : std::nullopt;
  // Only a module that declares itself self-registering is ever loaded.
  if (!table || !Query(*block, "\\StringFileInfo\\" + *table + "\\OLESelfRegister")) {
    call.Write("0");
    return;
  }
  platform::ModuleHandle module = platform::LoadLibrary(path);
  if (module == nullptr) {
    call.Write("0");
    return;
  }
  using EntryPoint = std::int32_t (*)();
  auto entry = reinterpret_cast<EntryPoint>(platform::GetProcAddress(module, entry_name));
  const bool registered = entry != nullptr && entry() == 0;
  platform::FreeLibrary(module);
  call.Write(registered ? "1" : "0");
}

// user_data: the ExitWindowsEx flag (1 shut down, 2 restart). The platform records the
// request; nothing here stops the host.
void ExitWindowsBuiltin(Call& call) {
  const auto flags = static_cast<std::uint32_t>(reinterpret_cast<std::intptr_t>(call.user_data));
  call.Write(platform::ExitWindowsEx(flags, 0) ? "1" : "0");
}

void FileVersionInformationBuiltin(Call& call) {
  std::optional<std::string> block = VersionBlockOf(std::string(Unquoted(call, 1)));
  if (!block) return;
  const std::string table = "\\StringFileInfo\\040904E4\\";
  SymbolTree& tree = call.instance->tree();
  tree.PushScope();
  TextBuffer& quoted = call.Scratch();
  auto define = [&](const char* name, std::string_view text) {
    quoted.Clear();
    QuoteText(text, call.instance->tokens(), quoted);
    SetVariable(call.instance, name, quoted.view(), kOwnsCopy);
  };
  static const char* const kNames[] = {"FileVersion",  "CompanyName",    "FileDescription",
                                       "InternalName", "LegalCopyright", "OriginalFilename",
                                       "ProductName",  "ProductVersion"};
  for (const char* name : kNames) {
    std::optional<std::string> text = Query(*block, table + name);
    if (text && !text->empty()) {
      define(name, *text);
    } else if (std::strcmp(name, "FileVersion") == 0) {
      // No string: the fixed block's product version, as scripts written for the
      // original expect (the file-version fields may differ).
      platform::FixedFileInfo fixed;
      std::optional<std::string> value = Query(*block, "\\");
      if (value && platform::ParseFixedFileInfo(*value, &fixed)) {
        char dotted[48];
        std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", fixed.product_version_ms >> 16,
                      fixed.product_version_ms & 0xFFFF, fixed.product_version_ls >> 16,
                      fixed.product_version_ls & 0xFFFF);
        define(name, dotted);
      }
    }
  }
  call.EvaluateIntoOutput(call.Raw(2));
  tree.PopScope();
}

void GetFileVersionBuiltin(Call& call) {
  std::optional<std::string> block = VersionBlockOf(std::string(Unquoted(call, 1)));
  std::optional<std::string> table = block ? FirstTranslation(*block) : std::nullopt;
  if (!table) return;
  if (std::optional<std::string> version =
          Query(*block, "\\StringFileInfo\\" + *table + "\\FileVersion"))
    call.Write(*version);
}

// user_data: the value name appended to the key path. The texts are quoted again before
// SetRegistryValue evaluates them, so that what arrives in the registry is exactly what
// the script gave: an address fetched from a server must never run as script text.
void UpdateControlBuiltin(Call& call) {
  if (set_registry_value == nullptr) return;
  const char* value_name = static_cast<const char*>(call.user_data);
  const bool launch = std::strcmp(value_name, "LaunchImmediately") == 0;
  std::string path(Unquoted(call, 1));
  path += '\\';
  path += value_name;
  std::string value = launch ? std::string("TRUE") : std::string(Unquoted(call, 2));
  const TokenSet& tokens = call.instance->tokens();
  TextBuffer& quoted_path = call.Scratch();
  TextBuffer& quoted_value = call.Scratch();
  QuoteText(path, tokens, quoted_path);
  QuoteText(value, tokens, quoted_value);
  std::string_view args[4] = {"SetRegistryValue", quoted_path.view(), quoted_value.view(),
                              call.Raw(3)};
  const int argc = !launch && call.Has(3) ? 4 : 3;
  Call forwarded(call.instance, call.out, argc, args, set_registry_value_data);
  set_registry_value(forwarded);
}

}  // namespace

void RegisterFileVersionRows(Instance* instance) {
  if (Value* handler = instance->tree().FindValue("SetRegistryValue")) {
    set_registry_value = handler->handler;
    set_registry_value_data = handler->data;
  }
  static const BuiltinRow kVersionRows[] = {
      {"SelfRegister", SelfRegisterBuiltin, 0, 1},
      {"SelfUnregister", SelfRegisterBuiltin, 1, 1},
      {"Shutdown", ExitWindowsBuiltin, platform::kEwxShutdown, 0},
      {"Reboot", ExitWindowsBuiltin, platform::kEwxReboot, 0},
      {"FileVersionInformation", FileVersionInformationBuiltin, 0, 2},
      {"GetFileVersion", GetFileVersionBuiltin, 0, 1},
  };
  static const ScriptBuiltinRow kCompareRow[] = {
      {"CompareFileVersions",
       "$CompareVersions{$GetFileVersion{$CompareFileVersions1};"
       "$GetFileVersion{$CompareFileVersions2}}",
       0},
  };
  static const BuiltinRow kUpdateControlRows[] = {
      {"PrepareToRestartUpdate", UpdateControlBuiltin,
       reinterpret_cast<std::intptr_t>("RestartUpdate"), 2},
      {"SetReDirectURL", UpdateControlBuiltin, reinterpret_cast<std::intptr_t>("ReDirectURL"), 2},
      {"LaunchGameImmediately", UpdateControlBuiltin,
       reinterpret_cast<std::intptr_t>("LaunchImmediately"), 1},
  };
  RegisterTable(instance, kVersionRows);
  RegisterTable(instance, kCompareRow);
  RegisterTable(instance, kUpdateControlRows);
}

}  // namespace script
