// Character streams: a stream joins one source (where script text is read from) and one
// sink (where results go). Streams live on the stack of the code that runs them and
// form a chain through their parents, which Return, Break and UnSilent walk outward.
// Sources and sinks are reference-counted so that several streams may share one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "script/text_buffer.h"
#include "script/token_set.h"

namespace script {

class Instance;
class Stream;

// Names the source that runs a loop or function body, so that Return, Break and
// Continue can find the block they belong to.
struct BlockMarker {
  const char* tag = "**BSN**";
  const char* kind;  // "function", "for", "while", ...
  bool* stop;        // the loop's stop flag; none for a function body
};

struct Source {
  enum Kind : uint8_t { kString, kFile, kEscaping };

  int Get() {
    if (pushed == 0 && kind == kString) return pos < end ? static_cast<uint8_t>(*pos++) : -1;
    return GetSlow();
  }
  int GetSlow();
  void Unget(int c);

  int refs = 1;
  Kind kind = kString;
  uint8_t pushed = 0;
  char pushback[16];
  const char* begin = nullptr;  // string source: its text, next character and end
  const char* pos = nullptr;
  const char* end = nullptr;
  const char* name = "";
  const BlockMarker* marker = nullptr;
  FILE* file = nullptr;
  Stream* through = nullptr;  // escaping source: the stream read through
};

struct Sink {
  enum Kind : uint8_t { kBuffer, kForward, kDiscard, kUnescape, kFile };

  void Put(char c);
  void Put(const char* text, size_t n);

  int refs = 1;
  Kind kind = kDiscard;
  int pending = -1;  // unescaping sink: a call character waiting for its successor
  TextBuffer* buffer = nullptr;
  Sink* target = nullptr;  // forward and unescaping sinks
  FILE* file = nullptr;
  bool close_file = false;
  const TokenSet* tokens = nullptr;  // unescaping sink: the instance's active set
};

// Process-wide counters shown by StreamInfo.
struct StreamStats {
  unsigned long streams_created = 0;
  unsigned long longest_pushback = 0;
  unsigned long pushback_count = 0;
  unsigned long pushback_total_depth = 0;
};
StreamStats& GlobalStreamStats();

class Stream {
 public:
  Stream(Instance* instance, Stream* parent);
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Sources.
  void AttachString(const char* text, size_t n, const char* name);
  void AttachString(std::string_view text, const char* name) {
    AttachString(text.data(), text.size(), name);
  }
  void AttachBlock(std::string_view text, const BlockMarker* marker);
  void AttachFileSource(FILE* file);
  // Reads through `other`, delivering every token character escaped.
  void AttachEscapingSource(Stream* other);
  // Reads from the same source as `other`, push-back included, so that characters one
  // stream pushes back are read next by the other (a call evaluated inside a Math
  // expression leaves the expression where the call ended).
  void ShareSource(Stream* other);

  // Sinks.
  void AttachBuffer(TextBuffer* buffer);  // clears the buffer
  void AttachForward(Stream* other);      // writes where `other` writes
  void AttachDiscard();
  void AttachUnescape(Stream* other);  // removes escapes, then writes where `other` writes
  void AttachUnescapeToFile(FILE* file);
  void AttachUnescapeToBuffer(TextBuffer* buffer);  // clears the buffer
  void AttachFileSink(FILE* file, bool close_when_done);

  int Get() {
    int c = source_->Get();
    if (c < 0) ended = true;
    return c;
  }
  void Unget(int c) {
    if (c >= 0) source_->Unget(c);
  }
  void Put(char c) { sink_->Put(c); }
  void Put(const char* text, size_t n) { sink_->Put(text, n); }
  void Put(std::string_view text) { sink_->Put(text.data(), text.size()); }

  // Copies characters to the sink up to `stop`, which is consumed and returned; -1 at
  // the end of the source (the stream is then ended).
  int CopyUntil(char stop);
  // Appends to `out` characters up to one whose role in `tokens` is a token; that one
  // is consumed and returned, -1 at the end.
  int ReadUntilToken(const TokenSet& tokens, TextBuffer& out);
  // Appends identifier characters to `out`; the first other character is pushed back.
  void ReadIdentifier(TextBuffer& out);
  // Copies characters to the sink until one of `set` is read, which is consumed and
  // returned; -1 at the end (the stream is then ended).
  int CopyUntilAny(const char* set);
  // Appends to `out` every character whose membership in `set` equals `member`; the
  // character that stops it is pushed back and returned (-1 at the end).
  int ReadWhile(TextBuffer& out, const char* set, bool member);

  Stream* parent() const { return parent_; }
  Instance* instance() const { return instance_; }
  Source* source() const { return source_; }
  Sink* sink() const { return sink_; }
  const BlockMarker* marker() const { return source_ ? source_->marker : nullptr; }
  bool owns_discarding_sink() const { return sink_ && sink_->kind == Sink::kDiscard; }

  bool ended = false;

 private:
  void SetSource(Source* source);
  void SetSink(Sink* sink);
  Sink* NewSink(Sink::Kind kind, Sink* target = nullptr);

  Stream* parent_;
  Instance* instance_;
  Source* source_ = nullptr;
  Sink* sink_ = nullptr;
};

}  // namespace script
