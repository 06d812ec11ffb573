// Building search-path lists from items, registry values and the environment.
#include "clientcfg/path_list.h"

#include "platform/environment.h"

namespace clientcfg {

OwnedText PathListAppend(OwnedText list, const char* item) {
  if (!item) return list;
  item = SkipSpaces(item);
  if (!IsAbsolutePath(item)) return list;
  if (!list || list->empty()) return std::string(item);
  std::string trimmed = item;
  TrimRight(trimmed);
  while (!trimmed.empty() && (trimmed.back() == ';' || trimmed.back() == '\\')) trimmed.pop_back();
  return AppendAlloc(AppendAlloc(std::move(list), ";"), trimmed.c_str());
}

int PathListAppendRegistry(platform::reg::Hkey root, const char* subkey, OwnedText& list) {
  namespace reg = platform::reg;
  reg::ScopedKey key;
  if (reg::OpenKey(root, subkey, reg::kKeyRead, key.out()) != platform::kErrorSuccess) return 0;
  constexpr std::uint32_t kBufferSize = 260;
  int count = 0;
  for (std::uint32_t index = 0;; ++index) {
    char name[kBufferSize];
    char data[kBufferSize + 1];
    std::uint32_t name_size = kBufferSize, data_size = kBufferSize, type = 0;
    if (reg::EnumValue(key.get(), index, name, &name_size, &type, data, &data_size) !=
        platform::kErrorSuccess)
      break;
    ++count;
    data[data_size < kBufferSize ? data_size : kBufferSize] = '\0';
    if (type == reg::kRegSz && data[0] != '\0')
      list = PathListAppend(std::move(list), data);
    else if (name[0] != '\0')
      list = PathListAppend(std::move(list), name);
  }
  return count;
}

OwnedText GetEnvAlloc(const char* name, OwnedText default_value) {
  std::string value;
  if (!name || !platform::GetEnvironmentVariable(name, &value) || value.empty())
    return default_value;
  return value;
}

}  // namespace clientcfg
