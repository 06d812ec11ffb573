// Tokenising the updater's arguments and building the command lines it starts.
#include "updater/command_line_args.h"

#include <cstdio>
#include <cstdlib>

#include "platform/ascii.h"

namespace zoma {
namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Switches compare by prefix: "/FIXED" counts as "/FIX".
bool IsSwitch(const std::string& token, const char* name) {
  return platform::StartsWithIgnoreCase(token, name);
}

bool HasWhiteSpace(const std::string& text) {
  for (char c : text)
    if (IsWhiteSpace(c)) return true;
  return false;
}

}  // namespace

std::vector<std::string> TokenizeArguments(std::string_view text) {
  std::vector<std::string> tokens;
  std::size_t i = 0;
  while (true) {
    while (i < text.size() && IsWhiteSpace(text[i])) ++i;
    if (i >= text.size()) break;
    std::string token;
    bool quoted = false;
    for (; i < text.size() && (quoted || !IsWhiteSpace(text[i])); ++i) {
      if (text[i] == '"')
        quoted = !quoted;
      else
        token.push_back(text[i]);
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

void AppendCachedArgument(std::string& cached, const std::string& token) {
  std::string piece = cached.empty() ? "" : " ";
  piece += HasWhiteSpace(token) ? "\"" + token + "\"" : token;
  if (cached.size() + piece.size() > kMaxCommandLineLength) return;
  cached += piece;
}

StartupArguments ParseStartupArguments(
    std::string_view text,
    const std::function<std::optional<std::string>()>& read_cached_arguments) {
  StartupArguments args;
  std::vector<std::string> tokens = TokenizeArguments(text);
  bool cached_value_read = false;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (token.empty() || token[0] != '/') {
      args.launch_record_path = token;
      AppendCachedArgument(args.cached_arguments, token);
    } else if (IsSwitch(token, "/FIX")) {
      args.fix_mode = true;
      if (i + 1 < tokens.size())
        args.parent_process_id =
            static_cast<std::uint32_t>(std::strtoul(tokens[++i].c_str(), nullptr, 16));
    } else if (IsSwitch(token, "/POSTFIX")) {
      args.post_fix_mode = true;
      // The chain's cached arguments are read (and consumed) once, and follow the
      // arguments of this command line.
      if (!cached_value_read && read_cached_arguments) {
        cached_value_read = true;
        if (std::optional<std::string> more = read_cached_arguments()) {
          std::vector<std::string> extra = TokenizeArguments(*more);
          tokens.insert(tokens.end(), extra.begin(), extra.end());
        }
      }
    } else if (IsSwitch(token, "/JC")) {
      args.just_checking = true;
    } else if (IsSwitch(token, "/NOMOTD")) {
      // Accepted; meant for the client's own start.
    } else {
      AppendCachedArgument(args.cached_arguments, token);
    }
  }
  return args;
}

std::string BuildLaunchTargetCommandLine(const std::string& target, const std::string& cached,
                                         const LaunchTargetOptions& options) {
  std::string line = "\"" + target + "\" ";
  if (options.add_postfix) line += "/POSTFIX ";
  if (options.add_nomotd) line += "/NOMOTD ";
  line += cached;
  if (options.extra_arguments && !options.extra_arguments->empty())
    line += " " + *options.extra_arguments;
  return line;
}

std::string BuildAlternateCommandLine(const std::string& alternate_updater,
                                      std::uint32_t process_id, const std::string& cached) {
  std::string escaped;
  for (char c : cached) {
    if (c == '=') escaped.push_back('\\');
    escaped.push_back(c);
  }
  char id[16];
  std::snprintf(id, sizeof id, "%08x", process_id);
  // A program path with white space is quoted so that its first token stays whole.
  std::string program =
      HasWhiteSpace(alternate_updater) ? "\"" + alternate_updater + "\"" : alternate_updater;
  return program + " /FIX " + id + " " + escaped;
}

}  // namespace zoma
