// Version blocks: locating them in PE and ELF images, walking and building them.
#include "platform/version_resource.h"

#include <cstdio>
#include <cstring>

#include "platform/ascii.h"

namespace platform {
namespace {

constexpr int kMaxDepth = 8;

std::uint64_t Read(std::string_view bytes, std::size_t offset, int width) {
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i)
    value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  return value;
}

// Reads `width` bytes at `offset` when they are all there.
bool ReadAt(std::string_view bytes, std::uint64_t offset, int width, std::uint64_t* value) {
  if (offset > bytes.size() || bytes.size() - offset < static_cast<std::uint64_t>(width))
    return false;
  *value = Read(bytes, static_cast<std::size_t>(offset), width);
  return true;
}

std::optional<std::string_view> Slice(std::string_view bytes, std::uint64_t offset,
                                      std::uint64_t size) {
  if (offset > bytes.size() || bytes.size() - offset < size) return std::nullopt;
  return bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

// ---- PE ----

struct PeSection {
  std::uint64_t virtual_address, virtual_size, raw_offset, raw_size;
};

// File offset of an RVA, and how many bytes of the section's file data follow it.
bool RvaToOffset(const std::vector<PeSection>& sections, std::uint64_t rva, std::uint64_t* offset,
                 std::uint64_t* available) {
  for (const PeSection& s : sections) {
    const std::uint64_t span = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
    if (rva >= s.virtual_address && rva - s.virtual_address < span) {
      const std::uint64_t delta = rva - s.virtual_address;
      if (delta >= s.raw_size) return false;  // in the zero-filled tail: no file data
      *offset = s.raw_offset + delta;
      *available = s.raw_size - delta;
      return true;
    }
  }
  return false;
}

// The offset (within the resource section) of the entry a directory lists first, or
// of the entry with `id` when one is asked for. Sets *is_directory from the high bit.
bool FindResourceEntry(std::string_view resources, std::uint64_t directory, long id,
                       std::uint64_t* target, bool* is_directory) {
  std::uint64_t named = 0, ids = 0;
  if (!ReadAt(resources, directory + 12, 2, &named) || !ReadAt(resources, directory + 14, 2, &ids))
    return false;
  for (std::uint64_t i = 0; i < named + ids; ++i) {
    std::uint64_t name = 0, data = 0;
    const std::uint64_t entry = directory + 16 + 8 * i;
    if (!ReadAt(resources, entry, 4, &name) || !ReadAt(resources, entry + 4, 4, &data))
      return false;
    if (id >= 0 && ((name & 0x80000000u) || name != static_cast<std::uint64_t>(id))) continue;
    *is_directory = (data & 0x80000000u) != 0;
    *target = data & 0x7FFFFFFFu;
    return true;
  }
  return false;
}

// ---- the block ----

struct Node {
  std::string key;
  std::string_view value;
  bool text = false;
  std::vector<Node> children;
};

// Reads the node at `offset` of `block`; *length receives its wLength.
bool ParseNode(std::string_view block, std::size_t offset, bool ansi, int depth, Node* node,
               std::size_t* length) {
  const std::size_t header = ansi ? 4 : 6;
  if (depth > kMaxDepth || offset > block.size() || block.size() - offset < header) return false;
  const std::size_t node_length = static_cast<std::size_t>(Read(block, offset, 2));
  const std::size_t value_length = static_cast<std::size_t>(Read(block, offset + 2, 2));
  if (node_length < header || node_length > block.size() - offset) return false;
  const std::string_view span = block.substr(offset, node_length);
  const std::uint64_t type = ansi ? 0 : Read(span, 4, 2);
  std::size_t pos = header;
  // The key, up to its terminator, which must lie inside the node.
  node->key.clear();
  for (;;) {
    if (pos + (ansi ? 1 : 2) > span.size()) return false;
    const std::uint64_t c = ansi ? Read(span, pos, 1) : Read(span, pos, 2);
    pos += ansi ? 1 : 2;
    if (c == 0) break;
    node->key.push_back(c < 256 ? static_cast<char>(c) : '?');
  }
  pos = Align4(pos);
  // Strings count their value in characters in the Unicode layout; some writers count
  // bytes instead, so the value is cut at the node's end either way.
  node->text = ansi ? depth == 3 : type == 1;
  std::size_t value_bytes = node->text && !ansi ? value_length * 2 : value_length;
  if (pos > span.size()) pos = span.size();
  if (value_bytes > span.size() - pos) value_bytes = span.size() - pos;
  node->value = span.substr(pos, value_bytes);
  pos = Align4(pos + value_bytes);
  while (pos + header <= span.size()) {
    Node child;
    std::size_t child_length = 0;
    if (!ParseNode(span, pos, ansi, depth + 1, &child, &child_length)) break;
    node->children.push_back(std::move(child));
    pos = Align4(pos + child_length);
  }
  *length = node_length;
  return true;
}

bool IsAnsiLayout(std::string_view block) {
  return block.size() >= 20 && std::memcmp(block.data() + 4, "VS_VERSION_INFO", 16) == 0;
}

bool ParseBlock(std::string_view block, Node* root) {
  const bool ansi = IsAnsiLayout(block);
  std::size_t length = 0;
  return ParseNode(block, 0, ansi, 0, root, &length) && root->key == "VS_VERSION_INFO";
}

std::string TextValue(const Node& node, bool ansi) {
  std::string text;
  if (ansi) {
    text.assign(node.value.data(), strnlen(node.value.data(), node.value.size()));
    return text;
  }
  for (std::size_t i = 0; i + 1 < node.value.size(); i += 2) {
    const std::uint64_t c = Read(node.value, i, 2);
    if (c == 0) break;
    text.push_back(c < 256 ? static_cast<char>(c) : '?');
  }
  return text;
}

// ---- building ----

void Put16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void PadTo4(std::string& out) {
  while (out.size() % 4) out.push_back('\0');
}

void PutText(std::string& out, std::string_view text, bool ansi) {
  for (char c : text) {
    if (ansi)
      out.push_back(c);
    else
      Put16(out, static_cast<unsigned char>(c));
  }
  if (ansi)
    out.push_back('\0');
  else
    Put16(out, 0);
}

std::string BuildNode(std::string_view key, std::string_view value, std::uint32_t value_length,
                      bool text, const std::vector<std::string>& children, bool ansi) {
  std::string out;
  Put16(out, 0);  // wLength, filled in below
  Put16(out, value_length);
  if (!ansi) Put16(out, text ? 1 : 0);
  PutText(out, key, ansi);
  PadTo4(out);
  out += value;
  for (const std::string& child : children) {
    PadTo4(out);
    out += child;
  }
  out[0] = static_cast<char>(out.size() & 0xFF);
  out[1] = static_cast<char>((out.size() >> 8) & 0xFF);
  return out;
}

std::string FixedInfoBytes(const FixedFileInfo& f) {
  std::string out;
  for (std::uint32_t v :
       {f.signature, f.struct_version, f.file_version_ms, f.file_version_ls, f.product_version_ms,
        f.product_version_ls, f.file_flags_mask, f.file_flags, f.file_os, f.file_type,
        f.file_subtype, f.file_date_ms, f.file_date_ls}) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
  }
  return out;
}

}  // namespace

std::optional<std::string_view> FindPeVersionBlock(std::string_view image) {
  std::uint64_t pe = 0, signature = 0;
  if (image.size() < 64 || image.substr(0, 2) != "MZ" || !ReadAt(image, 0x3C, 4, &pe) ||
      !ReadAt(image, pe, 4, &signature) || signature != 0x00004550)
    return std::nullopt;
  std::uint64_t section_count = 0, optional_size = 0, magic = 0;
  const std::uint64_t coff = pe + 4, optional = pe + 24;
  if (!ReadAt(image, coff + 2, 2, &section_count) || !ReadAt(image, coff + 16, 2, &optional_size) ||
      !ReadAt(image, optional, 2, &magic))
    return std::nullopt;
  const bool plus = magic == 0x20B;
  if (!plus && magic != 0x10B) return std::nullopt;
  const std::uint64_t count_field = plus ? 108 : 92;
  std::uint64_t directory_count = 0, resource_rva = 0, resource_size = 0;
  if (optional_size < count_field + 4 + 3 * 8 ||
      !ReadAt(image, optional + count_field, 4, &directory_count) || directory_count < 3 ||
      !ReadAt(image, optional + count_field + 4 + 16, 4, &resource_rva) ||
      !ReadAt(image, optional + count_field + 4 + 20, 4, &resource_size) || resource_rva == 0)
    return std::nullopt;
  std::vector<PeSection> sections;
  const std::uint64_t table = optional + optional_size;
  for (std::uint64_t i = 0; i < section_count; ++i) {
    PeSection s{};
    const std::uint64_t at = table + 40 * i;
    if (!ReadAt(image, at + 8, 4, &s.virtual_size) ||
        !ReadAt(image, at + 12, 4, &s.virtual_address) || !ReadAt(image, at + 16, 4, &s.raw_size) ||
        !ReadAt(image, at + 20, 4, &s.raw_offset))
      return std::nullopt;
    sections.push_back(s);
  }
  std::uint64_t offset = 0, available = 0;
  if (!RvaToOffset(sections, resource_rva, &offset, &available)) return std::nullopt;
  std::optional<std::string_view> resources = Slice(image, offset, available);
  if (!resources) return std::nullopt;
  // Type RT_VERSION (16), then its first name, then its first language.
  std::uint64_t entry = 0;
  bool is_directory = false;
  if (!FindResourceEntry(*resources, 0, 16, &entry, &is_directory) || !is_directory ||
      !FindResourceEntry(*resources, entry, -1, &entry, &is_directory) || !is_directory ||
      !FindResourceEntry(*resources, entry, -1, &entry, &is_directory) || is_directory)
    return std::nullopt;
  std::uint64_t data_rva = 0, data_size = 0;
  if (!ReadAt(*resources, entry, 4, &data_rva) || !ReadAt(*resources, entry + 4, 4, &data_size) ||
      !RvaToOffset(sections, data_rva, &offset, &available) || data_size > available)
    return std::nullopt;
  std::optional<std::string_view> block = Slice(image, offset, data_size);
  if (!block || !IsVersionBlock(*block)) return std::nullopt;
  return block;
}

std::optional<std::string_view> FindElfVersionBlock(std::string_view image) {
  if (image.size() < 52 ||
      image.substr(0, 4) !=
          "\x7f"
          "ELF" ||
      image[5] != 1)
    return std::nullopt;
  const bool wide = image[4] == 2;
  if (!wide && image[4] != 1) return std::nullopt;
  std::uint64_t table = 0, entry_size = 0, count = 0, names_index = 0;
  if (!ReadAt(image, wide ? 0x28 : 0x20, wide ? 8 : 4, &table) ||
      !ReadAt(image, wide ? 0x3A : 0x2E, 2, &entry_size) ||
      !ReadAt(image, wide ? 0x3C : 0x30, 2, &count) ||
      !ReadAt(image, wide ? 0x3E : 0x32, 2, &names_index) || entry_size < (wide ? 64u : 40u) ||
      names_index >= count)
    return std::nullopt;
  auto section = [&](std::uint64_t i, std::uint64_t* name, std::uint64_t* type,
                     std::uint64_t* offset, std::uint64_t* size) {
    const std::uint64_t at = table + i * entry_size;
    return ReadAt(image, at, 4, name) && ReadAt(image, at + 4, 4, type) &&
           ReadAt(image, at + (wide ? 0x18 : 0x10), wide ? 8 : 4, offset) &&
           ReadAt(image, at + (wide ? 0x20 : 0x14), wide ? 8 : 4, size);
  };
  std::uint64_t name = 0, type = 0, offset = 0, size = 0;
  if (!section(names_index, &name, &type, &offset, &size)) return std::nullopt;
  std::optional<std::string_view> names = Slice(image, offset, size);
  if (!names) return std::nullopt;
  const std::string_view wanted(kElfVersionSection, sizeof kElfVersionSection);  // with NUL
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!section(i, &name, &type, &offset, &size)) return std::nullopt;
    if (type == 8 /* SHT_NOBITS */ || name >= names->size() ||
        names->substr(static_cast<std::size_t>(name), wanted.size()) != wanted)
      continue;
    std::optional<std::string_view> block = Slice(image, offset, size);
    if (!block) return std::nullopt;
    // The section may be padded past the block; the block's own length says where it ends.
    if (block->size() >= 2) {
      const std::size_t length = static_cast<std::size_t>(Read(*block, 0, 2));
      if (length <= block->size()) block = block->substr(0, length);
    }
    if (!IsVersionBlock(*block)) return std::nullopt;
    return block;
  }
  return std::nullopt;
}

std::optional<std::string_view> FindVersionBlock(std::string_view image) {
  if (image.substr(0, 2) == "MZ") return FindPeVersionBlock(image);
  return FindElfVersionBlock(image);
}

bool IsVersionBlock(std::string_view block) {
  Node root;
  return ParseBlock(block, &root);
}

std::optional<std::string> QueryVersionValue(std::string_view block, std::string_view sub_block) {
  Node root;
  if (!ParseBlock(block, &root)) return std::nullopt;
  const bool ansi = IsAnsiLayout(block);
  const Node* node = &root;
  std::size_t start = 0;
  while (start < sub_block.size()) {
    std::size_t end = sub_block.find('\\', start);
    if (end == std::string_view::npos) end = sub_block.size();
    const std::string_view key = sub_block.substr(start, end - start);
    start = end + 1;
    if (key.empty()) continue;
    const Node* next = nullptr;
    for (const Node& child : node->children) {
      if (EqualsIgnoreCase(child.key, key)) {
        next = &child;
        break;
      }
    }
    if (next == nullptr) return std::nullopt;
    node = next;
  }
  if (node->text) return TextValue(*node, ansi);
  return std::string(node->value);
}

bool ParseFixedFileInfo(std::string_view value, FixedFileInfo* info) {
  if (value.size() < 52 || Read(value, 0, 4) != kFixedFileInfoSignature) return false;
  std::uint32_t* fields[] = {
      &info->signature,       &info->struct_version,     &info->file_version_ms,
      &info->file_version_ls, &info->product_version_ms, &info->product_version_ls,
      &info->file_flags_mask, &info->file_flags,         &info->file_os,
      &info->file_type,       &info->file_subtype,       &info->file_date_ms,
      &info->file_date_ls};
  for (int i = 0; i < 13; ++i) *fields[i] = static_cast<std::uint32_t>(Read(value, 4 * i, 4));
  return true;
}

std::string BuildVersionBlock(const VersionBlockContents& contents, bool ansi) {
  char table_key[9];
  std::snprintf(table_key, sizeof table_key, "%04X%04X", contents.language, contents.code_page);
  std::vector<std::string> strings;
  for (const auto& [name, text] : contents.strings) {
    std::string value;
    PutText(value, text, ansi);
    const std::uint32_t length = ansi ? static_cast<std::uint32_t>(text.size() + 1)
                                      : static_cast<std::uint32_t>(text.size() + 1);
    strings.push_back(BuildNode(name, value, length, true, {}, ansi));
  }
  std::string table = BuildNode(table_key, "", 0, true, strings, ansi);
  std::string string_info = BuildNode("StringFileInfo", "", 0, true, {table}, ansi);
  std::string translation;
  Put16(translation, contents.language);
  Put16(translation, contents.code_page);
  std::string var = BuildNode("Translation", translation, 4, false, {}, ansi);
  std::string var_info = BuildNode("VarFileInfo", "", 0, true, {var}, ansi);
  const std::string fixed = FixedInfoBytes(contents.fixed);
  return BuildNode("VS_VERSION_INFO", fixed, static_cast<std::uint32_t>(fixed.size()), false,
                   {string_info, var_info}, ansi);
}

}  // namespace platform
