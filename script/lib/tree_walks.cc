// The walks of the file library: ExpandWildcard (a wildcard path, component by
// component), ExpandDirectoryTree (every match of a recursive walk into numbered
// variables) and the loops ForDirectory, ForDirectoryTree and ForReDirectoryTree, which
// run a body per path found.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/directory_entries.h"
#include "platform/files.h"
#include "script/evaluator.h"
#include "script/lib/directory_tree.h"
#include "script/lib/directory_walk.h"
#include "script/lib/wildcard.h"
#include "script/libraries.h"
#include "script/loop.h"
#include "script/script_files.h"

namespace script {
namespace {

// Binds stem + number to the path, quoted like the walks' variables: a variable's text is
// evaluated when it is used, and a file name may hold the call character or a separator.
// `quoted` is the caller's scratch buffer, taken once for all its bindings.
void BindNumbered(Call& call, TextBuffer& quoted, const std::string& stem, int number,
                  const std::string& path) {
  SymbolTree& tree = call.instance->tree();
  quoted.Clear();
  QuoteText(path, call.instance->tokens(), quoted);
  tree.Bind(stem + std::to_string(number), MakeTextValue(tree, quoted.view(), kOwnsCopy), false, 0);
}

// One expansion of ExpandWildcard: the numbered variables it binds.
class WildcardExpansion {
 public:
  WildcardExpansion(Call& call, std::string stem)
      : call_(call), quoted_(call.Scratch()), stem_(std::move(stem)) {}
  int count() const { return count_; }

  // `rest`: the pattern's components still to match; `path`: what matched so far.
  // `first`: nothing has been taken yet (an empty first component is the root).
  void Expand(std::string_view rest, std::string path, bool first) {
    for (;;) {
      if (rest.empty() && !first) {
        if (platform::GetFileAttributes(path) != platform::kInvalidFileAttributes)
          BindNumbered(call_, quoted_, stem_, ++count_, path);
        return;
      }
      size_t end = rest.find('\\');
      std::string component(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      if (component.find_first_of("[*?") == std::string::npos) {
        path = Append(path, component, first);
        first = false;
        continue;
      }
      std::unique_ptr<Regex> names = Regex::Compile(WildcardToRegex(component));
      std::vector<platform::DirectoryEntry> entries;
      if (names == nullptr || !platform::ListDirectoryEntries(ListingPath(path), &entries)) return;
      for (const platform::DirectoryEntry& entry : entries) {
        if (names->Matches(entry.name)) Expand(rest, Append(path, entry.name, first), false);
      }
      return;
    }
  }

 private:
  static std::string Append(const std::string& path, const std::string& component, bool first) {
    if (first) return component;
    if (!path.empty() && path.back() == '\\') return path + component;
    return path + "\\" + component;
  }

  Call& call_;
  TextBuffer& quoted_;
  std::string stem_;
  int count_ = 0;
};

void ExpandWildcardBuiltin(Call& call) {
  std::string stem(call.Script(1));
  std::string pattern(call.Script(2));
  std::replace(pattern.begin(), pattern.end(), '/', '\\');
  WildcardExpansion expansion(call, stem);
  if (!pattern.empty()) expansion.Expand(pattern, std::string(), true);
  call.WriteInteger(expansion.count());
}

// A pattern argument, or its default when it is missing or empty.
std::string PatternArgument(Call& call, int i, const char* fallback, bool script_text) {
  std::string_view text = !call.Has(i)  ? std::string_view()
                          : script_text ? call.Script(i)
                                        : call.Plain(i);
  return text.empty() ? std::string(fallback) : std::string(text);
}

const std::initializer_list<FlagName> kWalkFlagNames = {
    {"WantDirectories", kWalkWantDirectories},
    {"NoScope", kWalkNoScope},
    {"NoRecursion", kWalkNoRecursion},
};

void ExpandDirectoryTreeBuiltin(Call& call) {
  std::string stem(call.Script(1));
  std::string directory = FileNameArgument(call, 2);
  std::string wildcard = PatternArgument(call, 3, "*", true);
  int32_t flags = call.Flags(4, {{"WantDirectories", kWalkWantDirectories}});
  std::unique_ptr<Regex> any = Regex::Compile(".*");
  std::unique_ptr<Regex> files = Regex::Compile(WildcardToRegex(wildcard));
  int count = 0;
  TextBuffer& quoted = call.Scratch();
  if (files != nullptr) {
    WalkDirectory(directory, *any, *files, flags, [&](const std::string& path) {
      BindNumbered(call, quoted, stem, ++count, path);
      return true;
    });
  }
  call.WriteInteger(count);
}

// The loops' part once the expressions are known: bind the path (quoted, so that it
// survives as script text) and the index, run the body, stop on Break.
void RunWalkLoop(Call& call, const char* kind, const char* index_name, const Regex& directories,
                 const Regex& files, int32_t flags) {
  const std::string variable(call.Script(1));
  const std::string directory = FileNameArgument(call, 3);
  const std::string_view body = call.Raw(2);
  const bool no_scope = flags & kWalkNoScope;
  if (variable.empty()) return;
  SymbolTree& tree = call.instance->tree();
  LoopFrame frame(call, kind, no_scope);
  TextBuffer& quoted = call.Scratch();
  long long counter = 0;
  WalkDirectory(directory, directories, files, flags, [&](const std::string& path) {
    if (!frame.running()) return false;
    quoted.Clear();
    QuoteText(path, call.instance->tokens(), quoted);
    ++counter;
    tree.Bind(variable, MakeTextValue(tree, quoted.view(), kOwnsCopy), no_scope, 0);
    tree.Bind(index_name, MakeTextValue(tree, std::to_string(counter), kOwnsCopy), no_scope, 0);
    frame.RunBody(body, !no_scope);
    if (no_scope) {
      tree.Delete(variable, tree.depth(), SymbolTree::kDeleteSelfScoped);
      tree.Delete(index_name, tree.depth(), SymbolTree::kDeleteSelfScoped);
    }
    return frame.running();
  });
}

// ForDirectoryTree and, with NoRecursion forced (user data 4), ForDirectory.
void ForDirectoryTreeBuiltin(Call& call) {
  int32_t flags = call.Flags(5, kWalkFlagNames) |
                  static_cast<int32_t>(reinterpret_cast<intptr_t>(call.user_data));
  std::unique_ptr<Regex> any = Regex::Compile(".*");
  std::unique_ptr<Regex> files =
      Regex::Compile(WildcardToRegex(PatternArgument(call, 4, "*", false)));
  if (files == nullptr) return;
  RunWalkLoop(call, "fordirectorytree", "ForDirectoryTreeIndex", *any, *files, flags);
}

void ForReDirectoryTreeBuiltin(Call& call) {
  int32_t flags = call.Flags(6, kWalkFlagNames);
  std::unique_ptr<Regex> directories = Regex::Compile(PatternArgument(call, 4, ".*", false));
  std::unique_ptr<Regex> files = Regex::Compile(PatternArgument(call, 5, ".*", false));
  if (directories == nullptr || files == nullptr) return;
  RunWalkLoop(call, "forredirectorytree", "ForReDirectoryTreeIndex", *directories, *files, flags);
}

const BuiltinRow kTreeWalkBuiltins[] = {
    {"ExpandWildcard", ExpandWildcardBuiltin, 0, 2},
    {"ExpandDirectoryTree", ExpandDirectoryTreeBuiltin, 0, 2},
    {"ForDirectory", ForDirectoryTreeBuiltin, kWalkNoRecursion, 2},
    {"ForDirectoryTree", ForDirectoryTreeBuiltin, 0, 2},
    {"ForReDirectoryTree", ForReDirectoryTreeBuiltin, 0, 2},
};

}  // namespace

void RegisterTreeWalkBuiltins(Instance* instance) { RegisterTable(instance, kTreeWalkBuiltins); }

}  // namespace script
