// The updater's own reading of its command line: tokens split at white space outside
// double quotes, the switches that choose its role, the arguments it hands on to
// whatever it starts, and the two command lines it builds (the launch target's and the
// alternate copy's).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zoma {

/// The longest command line and cached-argument text the updater builds (characters,
/// terminator excluded).
inline constexpr std::size_t kMaxCommandLineLength = 1023;

/// Splits an argument string: white space outside double quotes ends a token; a
/// double quote toggles quoting and is dropped.
std::vector<std::string> TokenizeArguments(std::string_view text);

/// What the command line says.
struct StartupArguments {
  bool fix_mode = false;
  std::uint32_t parent_process_id = 0;
  bool post_fix_mode = false;
  bool just_checking = false;
  /// Handed on to every process the updater starts.
  std::string cached_arguments;
  /// The last plain argument: the launch record file; empty without one.
  std::string launch_record_path;
};

/// Reads the argument string (the command line without the program token). In post-fix
/// mode `read_cached_arguments` is asked once for the text the chain cached, which is
/// then read as a second argument string.
StartupArguments ParseStartupArguments(
    std::string_view text,
    const std::function<std::optional<std::string>()>& read_cached_arguments);

/// Appends one token to cached arguments: a space before it unless first, double
/// quotes around it when it holds white space. A token that would make the text longer
/// than kMaxCommandLineLength is left out whole.
void AppendCachedArgument(std::string& cached, const std::string& token);

struct LaunchTargetOptions {
  bool add_postfix = false;
  bool add_nomotd = false;
  /// ExtraGizmoArguments, when the extra-arguments flag is set and the value is not
  /// empty; nullopt otherwise.
  std::optional<std::string> extra_arguments;
};

/// "\"<target>\" [/POSTFIX ][/NOMOTD ]<cached>[ <extra>]".
std::string BuildLaunchTargetCommandLine(const std::string& target, const std::string& cached,
                                         const LaunchTargetOptions& options);

/// "<alternate updater> /FIX <pid as %08x> <cached with every '=' as '\='>".
std::string BuildAlternateCommandLine(const std::string& alternate_updater,
                                      std::uint32_t process_id, const std::string& cached);

}  // namespace zoma
