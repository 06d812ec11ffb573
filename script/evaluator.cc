// The evaluator's main loop, call handling, argument collection and the evaluation
// services of the call record.
#include "script/evaluator.h"

#include <cstdio>
#include <cstring>

#include "script/math_expression.h"

namespace script {
namespace {

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Text without a call character evaluates to itself (it holds no escapes either), so
// it can be copied whole instead of being run through a stream.
bool HasCalls(const Instance* instance, std::string_view text) {
  const char call = instance->tokens().call();
  if (text.size() < 16) {
    // Most texts tested are short names and numbers: a loop beats a library call.
    for (char c : text) {
      if (c == call) return true;
    }
    return false;
  }
  return std::memchr(text.data(), call, text.size()) != nullptr;
}

void EvaluateUndefined(Stream& stream, std::string_view name) {
  Instance* instance = stream.instance();
  SymbolTree& tree = instance->tree();
  Value* handler = tree.FindValue("Undefined");
  if (handler == nullptr || !handler->is_variable()) return;
  RetainedValue keep(handler);
  tree.PushScope();
  tree.Bind("UndefinedName", MakeTextValue(name, kOwnsCopy), false, 0);
  EvaluateVariable(stream, handler);
  tree.PopScope();
}

}  // namespace

Call::~Call() {
  for (int i = 0; i < scratch_count_; ++i) instance->GiveBuffer(scratch_[i]);
  for (TextBuffer* buffer : more_scratch_) instance->GiveBuffer(buffer);
}

TextBuffer& Call::Scratch() {
  TextBuffer* buffer = instance->TakeBuffer();
  if (scratch_count_ < static_cast<int>(std::size(scratch_))) {
    scratch_[scratch_count_++] = buffer;
  } else {
    more_scratch_.push_back(buffer);
  }
  return *buffer;
}

std::string_view Call::Script(int i) {
  if (!Has(i)) return {};
  if (!HasCalls(instance, args[i]) && !instance->halted()) return args[i];
  TextBuffer& buffer = Scratch();
  EvaluateToBuffer(instance, out, Raw(i), buffer);
  return buffer.view();
}

std::string_view Call::Plain(int i) {
  if (!Has(i)) return {};
  if (!HasCalls(instance, args[i]) && !instance->halted()) return args[i];
  TextBuffer& buffer = Scratch();
  EvaluateToBuffer(instance, out, Raw(i), buffer, true);
  return buffer.view();
}

std::string_view Call::Name(int i) { return ExtractName(Script(i)); }

int32_t Call::Integer(int i) { return ParseInteger(Script(i)); }

int32_t Call::Math(int i) { return Has(i) ? EvaluateMath(instance, out, Raw(i)) : 0; }

int32_t Call::Flags(int i, std::initializer_list<FlagName> flags) {
  if (!Has(i)) return 0;
  SymbolTree& tree = instance->tree();
  tree.PushScope();
  for (const FlagName& flag : flags) {
    char digits[16];
    int n = std::snprintf(digits, sizeof digits, "%d", flag.value);
    tree.Bind(flag.name, MakeTextValue(tree, std::string_view(digits, n), kOwnsCopy), false, 0);
  }
  int32_t value = Math(i);
  tree.PopScope();
  return value;
}

int Call::Scope(int i) {
  const int depth = instance->tree().depth();
  if (!Has(i)) return depth;
  int64_t n = Math(i);
  if (n <= 0) n += depth;
  if (n < 1 || n >= depth) return depth;
  return static_cast<int>(n);
}

void Call::WriteInteger(int64_t value) {
  char digits[24];
  int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
  Write(std::string_view(digits, static_cast<size_t>(n)));
}

void Call::EvaluateIntoOutput(std::string_view text) { EvaluateInto(*out, text); }

void EvaluateStream(Stream& stream) {
  Instance* instance = stream.instance();
  NestingLevel level(instance);
  if (!level.ok()) return;
  while (!stream.ended && !instance->halted()) {
    if (stream.CopyUntil(instance->tokens().call()) < 0) return;
    HandleCall(stream);
  }
}

std::string_view ReadName(Stream& stream, ScratchBuffer& spill) {
  Source* source = stream.source();
  if (source->kind == Source::kString && source->pushed == 0) {
    // A view into the text, which outlives everything evaluated from it.
    const char* begin = source->pos;
    const char* p = begin;
    while (p < source->end && IsIdentifierChar(static_cast<uint8_t>(*p))) ++p;
    source->pos = p;
    if (p == source->end) stream.ended = true;
    return std::string_view(begin, p - begin);
  }
  stream.ReadIdentifier(spill.get());
  return spill.get().view();
}

void HandleCall(Stream& stream) {
  Instance* instance = stream.instance();
  const char call = instance->tokens().call();
  ScratchBuffer spill(instance);
  std::string_view name = ReadName(stream, spill);
  if (name.empty()) {
    // An escape pair, or a call character standing for itself.
    int next = stream.Get();
    stream.Put(call);
    if (next >= 0) stream.Put(static_cast<char>(next));
    return;
  }
  if (name == "SetTokensTo") {
    SetTokensFromStream(stream);
    return;
  }
  int next = stream.Get();
  if (next != static_cast<uint8_t>(call)) stream.Unget(next);  // $Name$ ends the name
  CallResolved(stream, name, instance->tree().FindForEvaluation(name));
}

void SetTokensFromStream(Stream& stream) {
  char four[5] = {};
  for (int i = 0; i < 4; ++i) {
    int c = stream.Get();
    if (c < 0) return;
    four[i] = static_cast<char>(c);
  }
  stream.instance()->SetTokens(four);
}

void CallResolved(Stream& stream, std::string_view name, Binding* binding) {
  Instance* instance = stream.instance();
  if (binding == nullptr) {
    EvaluateUndefined(stream, name);
    return;
  }
  Value* value = binding->value;
  RetainedValue keep(value);
  if (value->is_variable()) {
    EvaluateVariable(stream, value);
  } else {
    ScratchBuffer storage(instance);
    ArgumentList args(instance);
    args->push_back(name);
    CollectArguments(stream, storage, *args, false);
    InvokeBuiltin(instance, value, stream, static_cast<int>(args->size()), args->data());
  }
}

const Value* PlainVariableText(Instance* instance, Binding* binding) {
  if (binding == nullptr) return nullptr;
  const Value* value = binding->value;
  if (!value->is_variable()) return nullptr;
  if ((value->flags & kStandardTokens) && instance->tokens().call() != '$') return nullptr;
  if (HasCalls(instance, value->text())) return nullptr;
  return value;
}

namespace {

// The fast path: arguments as views into the text of a string source.
void CollectFromText(Stream& stream, const TokenSet& tokens, std::vector<std::string_view>& args,
                     bool opened) {
  Source* source = stream.source();
  const char* p = source->pos;
  const char* const end = source->end;
  // The stream ends only when reading ran into the end of the text.
  auto finish = [&](const char* stop, bool ran_out) {
    source->pos = stop;
    if (ran_out) stream.ended = true;
  };
  if (!opened) {
    const char* open = static_cast<const char*>(std::memchr(p, tokens.open(), end - p));
    if (open == nullptr) {
      finish(end, true);
      return;
    }
    p = open + 1;
  }
  int depth = 1;
  const char* start = p;
  while (p < end) {
    while (tokens.role[static_cast<uint8_t>(*p)] == kNotToken) {
      if (++p == end) goto ran_out;
    }
    switch (tokens.role[static_cast<uint8_t>(*p)]) {
      case kNotToken:
        continue;
      case kCall:
        // The character after a call character is taken with it, so escape pairs never
        // count as tokens; a name's other characters are never tokens anyway.
        if (++p == end) break;
        ++p;
        continue;
      case kOpen:
        ++depth;
        ++p;
        continue;
      case kClose:
        if (--depth == 0) {
          args.emplace_back(start, p - start);
          finish(p + 1, false);
          return;
        }
        ++p;
        continue;
      case kSeparator:
        if (depth == 1) {
          args.emplace_back(start, p - start);
          start = p + 1;
        }
        ++p;
        continue;
    }
  }
ran_out:
  args.emplace_back(start, end - start);
  finish(end, true);
}

// Any other source: characters are read one by one and copied into `storage`.
void CollectFromStream(Stream& stream, const TokenSet& tokens, TextBuffer& storage,
                       std::vector<std::string_view>& args, bool opened) {
  if (!opened) {
    for (;;) {
      int c = stream.Get();
      if (c < 0) return;
      if (c == static_cast<uint8_t>(tokens.open())) break;
    }
  }
  std::vector<size_t> ends;
  int depth = 1;
  for (;;) {
    int c = stream.ReadUntilToken(tokens, storage);
    if (c < 0) break;
    const TokenRole role = static_cast<TokenRole>(tokens.role[c]);
    if (role == kCall) {
      storage.Append(static_cast<char>(c));
      int next = stream.Get();
      if (next < 0) break;
      storage.Append(static_cast<char>(next));
      if (IsIdentifierChar(next)) stream.ReadIdentifier(storage);
    } else if (role == kOpen) {
      storage.Append(static_cast<char>(c));
      ++depth;
    } else if (role == kClose) {
      if (--depth == 0) break;
      storage.Append(static_cast<char>(c));
    } else if (depth > 1) {
      storage.Append(static_cast<char>(c));
    } else {
      ends.push_back(storage.size());
    }
  }
  ends.push_back(storage.size());
  size_t start = 0;
  for (size_t end : ends) {
    args.emplace_back(storage.c_str() + start, end - start);
    start = end;
  }
}

}  // namespace

void CollectArguments(Stream& stream, ScratchBuffer& storage, std::vector<std::string_view>& args,
                      bool opened) {
  const TokenSet& tokens = stream.instance()->tokens();
  const size_t first = args.size();
  if (stream.source()->kind == Source::kString && stream.source()->pushed == 0) {
    CollectFromText(stream, tokens, args, opened);
  } else {
    storage.get().Clear();
    CollectFromStream(stream, tokens, storage.get(), args, opened);
  }
  if (args.size() == first + 1 && args.back().empty()) args.pop_back();
}

void InvokeBuiltin(Instance* instance, Value* value, Stream& out, int argc,
                   const std::string_view* args) {
  if (argc - 1 < value->min_args) return;
  Call call(instance, &out, argc, args, value->data);
  value->handler(call);
  value->data = call.user_data;
}

std::string_view ActiveText(Instance* instance, const Value* value, TextBuffer& scratch) {
  std::string_view text = value->text();
  static const TokenSet standard(kStandardTokenChars);
  if (!(value->flags & kStandardTokens) || instance->tokens() == standard) return text;
  scratch.Assign(text);
  ConvertTokens(scratch, standard, instance->tokens());
  return scratch.view();
}

void EvaluateVariable(Stream& stream, Value* value) {
  Instance* instance = stream.instance();
  ScratchBuffer converted(instance);
  std::string_view text = (value->flags & kStandardTokens) && instance->tokens().call() != '$'
                              ? ActiveText(instance, value, converted.get())
                              : value->text();
  if (!HasCalls(instance, text)) {
    if (!instance->halted()) stream.Put(text);
    return;
  }
  Stream nested(instance, &stream);
  nested.AttachString(text, "Variable");
  nested.AttachForward(&stream);
  EvaluateStream(nested);
}

void EvaluateToBuffer(Instance* instance, Stream* parent, std::string_view text, TextBuffer& out,
                      bool unescape) {
  if (!HasCalls(instance, text)) {
    out.Clear();
    if (!instance->halted()) out.Append(text);
    return;
  }
  if (text.size() > 1 && !instance->halted()) {
    // A lone reference to a variable whose text holds no calls: its text is the result.
    std::string_view name = text.substr(1);
    if (ExtractName(name).size() == name.size()) {
      if (const Value* value =
              PlainVariableText(instance, instance->tree().FindForEvaluation(name))) {
        out.Assign(value->text());
        return;
      }
    }
  }
  Stream nested(instance, parent);
  nested.AttachString(text, "Eval");
  if (unescape) {
    nested.AttachUnescapeToBuffer(&out);
  } else {
    nested.AttachBuffer(&out);
  }
  EvaluateStream(nested);
}

void EvaluateInto(Stream& target, std::string_view text, const char* name) {
  Instance* instance = target.instance();
  if (!HasCalls(instance, text)) {
    if (!instance->halted()) target.Put(text);
    return;
  }
  Stream nested(instance, &target);
  nested.AttachString(text, name);
  nested.AttachForward(&target);
  EvaluateStream(nested);
}

void RunBlock(Stream& out, std::string_view text, const BlockMarker* marker, bool discard) {
  Stream block(out.instance(), &out);
  block.AttachBlock(text, marker);
  if (discard) {
    block.AttachDiscard();
  } else {
    block.AttachForward(&out);
  }
  EvaluateStream(block);
}

int32_t ParseInteger(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && !IsDigit(text[i]) && !(text[i] == '-' && i + 1 < n && IsDigit(text[i + 1]))) {
    ++i;
  }
  if (i == n) return 0;
  bool negative = false;
  if (text[i] == '-') {
    negative = true;
    ++i;
  }
  uint32_t value = 0;
  auto digit_value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
  };
  int base = 10;
  if (text[i] == '0') {
    ++i;
    if (i < n && (text[i] == 'x' || text[i] == 'X')) {
      base = 16;
      ++i;
    } else if (i < n && (text[i] == 'b' || text[i] == 'B')) {
      base = 2;
      ++i;
    } else if (i < n &&
               ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z'))) {
      return 0;
    } else {
      base = 8;
    }
  }
  for (; i < n; ++i) {
    int d = digit_value(text[i]);
    if (d >= base) break;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

std::string_view ExtractName(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && !IsIdentifierChar(static_cast<uint8_t>(text[start]))) ++start;
  size_t end = start;
  while (end < text.size() && IsIdentifierChar(static_cast<uint8_t>(text[end]))) ++end;
  return text.substr(start, end - start);
}

}  // namespace script
