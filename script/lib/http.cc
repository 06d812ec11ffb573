// The HTTP library: fetching documents as script text or verbatim, saving downloads to
// files with a progress body, reading response headers, the local address of the last
// connection, URL quoting and the form fields of a CGI request. Network failures show
// nothing: the built-ins write nothing, remove the partial file or run no body.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/winsock.h"
#include "script/environment.h"
#include "script/lib/arguments.h"
#include "script/lib/cgi_form.h"
#include "script/lib/http_fetch.h"
#include "script/lib/http_request.h"
#include "script/libraries.h"
#include "script/script_files.h"
#include "script/script_source.h"
#include "script/standard_streams.h"
#include "script/user_function.h"

namespace script {
namespace {

// Header values and form fields come from outside: a variable holding one gives back
// the text itself when used, never evaluates it.
void SetDataVariable(Instance* instance, std::string_view name, std::string_view value) {
  static const TokenSet standard(kStandardTokenChars);
  TextBuffer quoted;
  QuoteText(value, standard, quoted);
  SetVariable(instance, name, quoted.view(), kOwnsCopy | kStandardTokens);
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Each header line after the status line becomes HttpHeader_<name>: the leading run of
// letters and hyphens, lower case, hyphens dropped. The value follows the first ":" or
// blank after the name, leading blanks skipped. A line that does not start with a
// letter or hyphen ends the list.
void DefineHeaderVariables(Instance* instance, const std::vector<std::string>& lines) {
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
    if (line.empty() || !(IsLetter(line.front()) || line.front() == '-')) return;
    std::string name = "HttpHeader_";
    size_t at = 0;
    for (; at < line.size() && (IsLetter(line[at]) || line[at] == '-'); ++at) {
      if (line[at] != '-') name.push_back(platform::ToLowerAscii(line[at]));
    }
    size_t value_at = line.find_first_of(": \t", at);
    std::string_view value =
        value_at == std::string_view::npos ? std::string_view() : line.substr(value_at + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    SetDataVariable(instance, name, value);
  }
}

// Runs a progress body between receives: HttpPercent and a Break of block kind "http"
// in a scope of its own, its output going to the call's output.
class ProgressBody {
 public:
  ProgressBody(Call& call, std::string_view body) : call_(call), body_(body) {}

  bool operator()(uint32_t percent, const std::vector<std::string>* header_lines) {
    Instance* instance = call_.instance;
    if (instance->halted()) return true;
    if (header_lines) DefineHeaderVariables(instance, *header_lines);
    SymbolTree& tree = instance->tree();
    bool stop = false;
    BlockMarker marker{"**BSN**", "http", &stop};
    tree.PushScope();
    SetVariable(instance, "HttpPercent", std::to_string(percent), kOwnsCopy);
    tree.Bind("Break", MakeBuiltinValue(tree, BreakBuiltin, &marker, 0), false, tree.depth());
    RunBlock(*call_.out, body_, &marker, false);
    tree.PopScope();
    return stop || instance->halted() || call_.out->ended;
  }

 private:
  Call& call_;
  std::string_view body_;
};

// One fetch inside a scope of the call's own, so that the HttpHeader_ variables live
// only as long as the fetch.
int FetchInScope(Call& call, HttpRequest& request, std::string_view progress_body) {
  SymbolTree& tree = call.instance->tree();
  ProgressBody body(call, progress_body);
  HttpProgress progress = std::ref(body);
  if (!progress_body.empty()) request.targets.progress = &progress;
  tree.PushScope();
  int result = HttpFetch(request);
  tree.PopScope();
  return result;
}

std::string UrlWithScheme(std::string_view url) {
  return HasHttpScheme(url) ? std::string(url) : "http://" + std::string(url);
}

// Evaluates (or writes) a fetched document the way ReadFile treats a script file.
void UseDocument(Call& call, const std::string& url, std::string text, int32_t flags) {
  Instance* instance = call.instance;
  SymbolTree& tree = instance->tree();
  TokenSet saved_tokens = instance->tokens();
  if (!(flags & kReadNoResetTokens)) instance->SetTokens(kStandardTokenChars);
  const bool set_path = !(flags & kReadNoSetCurrentScriptPath);
  const int path_scope = tree.depth();
  if (set_path) {
    tree.Bind("CurrentScriptPath", MakeTextValue(tree, url, kOwnsCopy), true, path_scope);
  }
  if (flags & kReadExternal) {
    TextBuffer quoted;
    QuoteText(text, instance->tokens(), quoted);
    text.assign(quoted.view());
  }
  if (flags & kReadVerbatim) {
    call.Write(text);
  } else {
    Stream reader(instance, call.out);
    ScriptText source;
    if (source.FromData(reader, text, false, url.c_str())) {
      reader.AttachForward(call.out);
      EvaluateStream(reader);
    }
  }
  if (set_path) tree.Delete("CurrentScriptPath", path_scope, SymbolTree::kDeleteSelfScoped);
  instance->SetTokens(saved_tokens.chars);
}

// Http, HttpExternal, HttpVerbatim: URL; [progress body]; [flags]; [custom request].
void HttpBuiltin(Call& call) {
  int32_t flags = static_cast<int32_t>(reinterpret_cast<intptr_t>(call.user_data));
  std::string url = UrlWithScheme(call.Script(1));
  std::string_view progress_body = call.Raw(2);
  // A flags argument replaces the preset, even an empty one left before a custom
  // request.
  if (call.Has(3)) flags = ReadFileFlags(call, 3);
  std::string custom;
  std::string_view custom_view;
  HttpRequest request;
  request.url = url;
  if (call.Has(4)) {
    custom.assign(Unquoted(call, 4));
    custom_view = custom;
    request.custom_request = &custom_view;
  }
  std::optional<std::string> body;
  request.targets.body_sink = &body;
  if (FetchInScope(call, request, progress_body) != kHttpOk || !body) return;
  UseDocument(call, url, std::move(*body), flags);
}

// WriteHttpToFile: URL; file; [progress body]; [custom request]. A failed or stopped
// transfer leaves no file behind.
void WriteHttpToFileBuiltin(Call& call) {
  std::string url(call.Script(1));
  std::string name(Unquoted(call, 2));
  std::string_view progress_body = call.Raw(3);
  std::string custom;
  std::string_view custom_view;
  HttpRequest request;
  request.url = url;
  if (call.Has(4)) {
    custom.assign(Unquoted(call, 4));
    custom_view = custom;
    request.custom_request = &custom_view;
  }
  std::FILE* file = platform::OpenStdioFile(name, "wb");
  if (file == nullptr) return;
  request.targets.file = file;
  int result = FetchInScope(call, request, progress_body);
  if (std::fclose(file) != 0) result = kHttpFailed;
  if (result != kHttpOk) platform::DeleteFile(name);
}

// HttpHeader: URL; body. The body runs once with the response's HttpHeader_ variables.
void HttpHeaderBuiltin(Call& call) {
  std::string url = UrlWithScheme(call.Script(1));
  HttpRequest request;
  request.url = url;
  request.targets.head = true;
  FetchInScope(call, request, call.Raw(2));
}

void GetMyIpAddressBuiltin(Call& call) {
  uint32_t address = LastLocalAddress();
  unsigned char bytes[4];
  std::memcpy(bytes, &address, 4);
  char text[16];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  call.Write(text);
}

// The characters a URL cannot carry as they are, and their codes.
const char* UrlCode(char c) {
  switch (c) {
    case '%':
      return "%25";
    case ' ':
      return "%20";
    case '/':
      return "%2F";
    case '?':
      return "%3F";
    case ':':
      return "%3A";
    case '@':
      return "%40";
    case '=':
      return "%3D";
    case '&':
      return "%26";
    case '<':
      return "%3C";
    case '>':
      return "%3E";
    case ';':
      return "%3B";
    case '"':
      return "%22";
    case '#':
      return "%23";
    case '{':
      return "%7B";
    case '}':
      return "%7D";
    case '|':
      return "%7C";
    case '\\':
      return "%5C";
    case '^':
      return "%5E";
    case '~':
      return "%7E";
    case '[':
      return "%5B";
    case ']':
      return "%5D";
    case '`':
      return "%60";
    default:
      return nullptr;
  }
}

void QuoteUrlBuiltin(Call& call) {
  std::string_view text = Unquoted(call, 1);
  const TokenSet& tokens = call.instance->tokens();
  const bool escape_codes = tokens.IsToken('%');
  TextBuffer& out = call.Scratch();
  for (char c : text) {
    if (const char* code = UrlCode(c)) {
      if (escape_codes) out.Append(tokens.call());
      out.Append(code, 3);
    } else {
      if (tokens.IsToken(static_cast<unsigned char>(c))) out.Append(tokens.call());
      out.Append(c);
    }
  }
  call.Write(out.view());
}

// A malformed POST ends the program with an error page, as a CGI program must answer
// something.
[[noreturn]] void FailCgiRequest(std::string_view message) {
  std::FILE* out = StandardOutput();
  std::string page = CgiErrorPage(message);
  std::fwrite(page.data(), 1, page.size(), out);
  std::fflush(out);
  std::exit(1);
}

bool IsFormContentType(std::string_view type) {
  constexpr std::string_view kForm = "application/x-www-form-urlencoded";
  std::string_view media = type.substr(0, type.find(';'));
  while (!media.empty() && IsBlank(media.back())) media.remove_suffix(1);
  return platform::EqualsIgnoreCase(media, kForm);
}

// Reads up to `length` bytes of standard input, as they come (a claimed length is not
// allocated up front).
std::string ReadPostBody(long long length) {
  std::string body;
  std::FILE* in = StandardInput();
  char chunk[4096];
  while (length > 0 && body.size() < kMaxHttpBodyInMemory) {
    size_t want = static_cast<size_t>(std::min<long long>(length, sizeof chunk));
    size_t got = std::fread(chunk, 1, want, in);
    if (got == 0) break;
    body.append(chunk, got);
    length -= static_cast<long long>(got);
  }
  return body;
}

void GetCgiDataBuiltin(Call& call) {
  std::vector<CgiField> fields;
  std::optional<std::string> query = GetEnvironment("QUERY_STRING");
  if (query && !query->empty()) DecodeFormData(*query, &fields);
  std::optional<std::string> method = GetEnvironment("REQUEST_METHOD");
  if (method && *method == "POST") {
    std::optional<std::string> type = GetEnvironment("CONTENT_TYPE");
    if (!type || !IsFormContentType(*type)) {
      FailCgiRequest("<p>No content type was passed to uncgi.");
    }
    std::optional<std::string> length = GetEnvironment("CONTENT_LENGTH");
    if (!length || length->empty()) {
      FailCgiRequest("<p>The server did not tell uncgi how long the request\nwas.");
    }
    DecodeFormData(ReadPostBody(std::atoll(length->c_str())), &fields);
  }
  // A value from the environment, or from an earlier field of the same name, is kept
  // after a "#", newest first. The values of a name are gathered first and joined once,
  // so that a large or repetitive form costs time in proportion to its size.
  std::unordered_map<std::string, std::vector<std::string>> values;
  std::vector<std::string> order;
  for (CgiField& field : fields) {
    auto [entry, added] = values.try_emplace(field.name);
    if (added) order.push_back(field.name);
    entry->second.push_back(std::move(field.value));
  }
  for (const std::string& name : order) {
    const std::vector<std::string>& given = values[name];
    std::string value;
    for (auto it = given.rbegin(); it != given.rend(); ++it) {
      if (it != given.rbegin()) value += '#';
      value += *it;
    }
    if (std::optional<std::string> existing = GetEnvironment(name)) value += "#" + *existing;
    SetDataVariable(call.instance, name, value);
  }
}

const BuiltinRow kNetworkBuiltins[] = {
    {"Http", HttpBuiltin, 0, 1},
    {"HttpExternal", HttpBuiltin, kReadExternal, 1},
    {"HttpVerbatim", HttpBuiltin, kReadVerbatim, 1},
    {"WriteHttpToFile", WriteHttpToFileBuiltin, 0, 2},
    {"HttpHeader", HttpHeaderBuiltin, 0, 2},
    {"GetMyIPAddress", GetMyIpAddressBuiltin, 0, 0},
};

const BuiltinRow kTextBuiltins[] = {
    {"GetCGIData", GetCgiDataBuiltin, 0, 0},
    {"QuoteURL", QuoteUrlBuiltin, 0, 1},
};

void CleanUpWinsock() { platform::WSACleanup(); }

// Winsock is started once for the process and cleaned up when it exits.
bool WinsockStarted() {
  static const bool started = [] {
    platform::WsaData data;
    if (platform::WSAStartup(platform::MakeWord(1, 1), &data) != 0) return false;
    std::atexit(CleanUpWinsock);
    return true;
  }();
  return started;
}

}  // namespace

void RegisterHttpLibrary(Instance* instance) {
  if (WinsockStarted()) RegisterTable(instance, kNetworkBuiltins);
  RegisterTable(instance, kTextBuiltins);
}

}  // namespace script
