// Sources, sinks and streams. The hot paths copy runs of text as blocks: a string
// source is scanned with memchr and a sink takes whole runs, so ordinary text costs
// no per-character dispatch.
#include "script/stream.h"

#include <cstring>

#include "script/instance.h"

namespace script {

StreamStats& GlobalStreamStats() {
  static StreamStats stats;
  return stats;
}

int Source::GetSlow() {
  if (pushed != 0) return static_cast<uint8_t>(pushback[--pushed]);
  switch (kind) {
    case kString:
      if (pos < end) return static_cast<uint8_t>(*pos++);
      return -1;
    case kFile:
      return file ? std::getc(file) : -1;
    case kEscaping: {
      int c = through->Get();
      const TokenSet& tokens = through->instance()->tokens();
      if (c >= 0 && tokens.IsToken(c)) {
        Unget(c);
        return static_cast<uint8_t>(tokens.call());
      }
      return c;
    }
  }
  return -1;
}

void Source::Unget(int c) {
  StreamStats& stats = GlobalStreamStats();
  ++stats.pushback_count;
  if (kind == kString && pushed == 0 && pos > begin && pos[-1] == static_cast<char>(c)) {
    // The character is the one just read from the text: stepping back delivers the
    // same characters and keeps the fast paths, which need an empty push-back.
    --pos;
    ++stats.pushback_total_depth;
    if (stats.longest_pushback == 0) stats.longest_pushback = 1;
    return;
  }
  if (pushed >= sizeof pushback) return;  // callers never push back more than 16
  pushback[pushed++] = static_cast<char>(c);
  stats.pushback_total_depth += pushed;
  if (pushed > stats.longest_pushback) stats.longest_pushback = pushed;
}

void Sink::Put(char c) {
  switch (kind) {
    case kBuffer:
      buffer->Append(c);
      return;
    case kForward:
      target->Put(c);
      return;
    case kDiscard:
      return;
    case kFile:
      std::putc(c, file);
      return;
    case kUnescape: {
      const uint8_t uc = static_cast<uint8_t>(c);
      if (pending >= 0) {
        pending = -1;
        if (tokens->IsToken(uc)) {
          target->Put(c);
        } else {
          target->Put(tokens->call());
          target->Put(c);
        }
      } else if (c == tokens->call()) {
        pending = uc;
      } else {
        target->Put(c);
      }
      return;
    }
  }
}

void Sink::Put(const char* text, size_t n) {
  switch (kind) {
    case kBuffer:
      buffer->Append(text, n);
      return;
    case kForward:
      target->Put(text, n);
      return;
    case kDiscard:
      return;
    case kFile:
      std::fwrite(text, 1, n, file);
      return;
    case kUnescape: {
      // Runs without a call character pass through whole.
      const char call = tokens->call();
      const char* end = text + n;
      while (text < end) {
        if (pending >= 0) {
          Put(*text++);
          continue;
        }
        const char* found = static_cast<const char*>(std::memchr(text, call, end - text));
        const char* stop = found ? found : end;
        if (stop > text) target->Put(text, stop - text);
        text = stop;
        if (found) Put(*text++);
      }
      return;
    }
  }
}

Stream::Stream(Instance* instance, Stream* parent) : parent_(parent), instance_(instance) {
  ++GlobalStreamStats().streams_created;
}

Stream::~Stream() {
  SetSource(nullptr);
  SetSink(nullptr);
}

void Stream::SetSource(Source* source) {
  if (source_ && --source_->refs == 0) {
    if (source_->kind == Source::kFile && source_->file) std::fclose(source_->file);
    instance_->sources().Give(source_);
  }
  source_ = source;
}

static void ReleaseSink(Pool<Sink>& pool, Sink* sink) {
  if (--sink->refs != 0) return;
  if (sink->kind == Sink::kFile) {
    if (sink->close_file) {
      std::fclose(sink->file);
    } else {
      std::fflush(sink->file);
    }
  }
  if (sink->target) ReleaseSink(pool, sink->target);
  pool.Give(sink);
}

void Stream::SetSink(Sink* sink) {
  if (sink_) ReleaseSink(instance_->sinks(), sink_);
  sink_ = sink;
}

void Stream::AttachString(const char* text, size_t n, const char* name) {
  Source* source = instance_->sources().Take();
  source->kind = Source::kString;
  source->begin = text;
  source->pos = text;
  source->end = text + n;
  source->name = name;
  SetSource(source);
}

void Stream::AttachBlock(std::string_view text, const BlockMarker* marker) {
  AttachString(text, marker->tag);
  source_->marker = marker;
}

void Stream::AttachFileSource(FILE* file) {
  Source* source = instance_->sources().Take();
  source->kind = Source::kFile;
  source->file = file;
  SetSource(source);
}

void Stream::AttachEscapingSource(Stream* other) {
  Source* source = instance_->sources().Take();
  source->kind = Source::kEscaping;
  source->through = other;
  SetSource(source);
}

void Stream::ShareSource(Stream* other) {
  ++other->source_->refs;
  SetSource(other->source_);
}

Sink* Stream::NewSink(Sink::Kind kind, Sink* target) {
  Sink* sink = instance_->sinks().Take();
  sink->kind = kind;
  sink->target = target;
  if (kind == Sink::kUnescape) sink->tokens = &instance_->tokens();
  return sink;
}

// The sink `stream` finally writes to, with a reference taken. Forwarding straight to
// it keeps deep nesting from costing a hop per level on every write.
static Sink* FinalSink(Stream* stream) {
  Sink* sink = stream->sink();
  if (sink->kind == Sink::kForward) sink = sink->target;
  ++sink->refs;
  return sink;
}

void Stream::AttachBuffer(TextBuffer* buffer) {
  buffer->Clear();
  Sink* sink = NewSink(Sink::kBuffer);
  sink->buffer = buffer;
  SetSink(sink);
}

void Stream::AttachForward(Stream* other) { SetSink(NewSink(Sink::kForward, FinalSink(other))); }

void Stream::AttachDiscard() { SetSink(NewSink(Sink::kDiscard)); }

void Stream::AttachUnescape(Stream* other) { SetSink(NewSink(Sink::kUnescape, FinalSink(other))); }

void Stream::AttachUnescapeToFile(FILE* file) {
  Sink* target = NewSink(Sink::kFile);
  target->file = file;
  SetSink(NewSink(Sink::kUnescape, target));
}

void Stream::AttachUnescapeToBuffer(TextBuffer* buffer) {
  buffer->Clear();
  Sink* target = NewSink(Sink::kBuffer);
  target->buffer = buffer;
  SetSink(NewSink(Sink::kUnescape, target));
}

void Stream::AttachFileSink(FILE* file, bool close_when_done) {
  Sink* sink = NewSink(Sink::kFile);
  sink->file = file;
  sink->close_file = close_when_done;
  SetSink(sink);
}

int Stream::CopyUntil(char stop) {
  Source* source = source_;
  while (source->pushed != 0) {
    int c = static_cast<uint8_t>(source->pushback[--source->pushed]);
    if (c == static_cast<uint8_t>(stop)) return c;
    sink_->Put(static_cast<char>(c));
  }
  if (source->kind == Source::kString) {
    const char* begin = source->pos;
    size_t left = static_cast<size_t>(source->end - begin);
    const char* found = static_cast<const char*>(std::memchr(begin, stop, left));
    if (found == nullptr) {
      if (left) sink_->Put(begin, left);
      source->pos = source->end;
      ended = true;
      return -1;
    }
    if (found > begin) sink_->Put(begin, found - begin);
    source->pos = found + 1;
    return static_cast<uint8_t>(stop);
  }
  for (;;) {
    int c = Get();
    if (c < 0 || c == static_cast<uint8_t>(stop)) return c;
    sink_->Put(static_cast<char>(c));
  }
}

int Stream::ReadUntilToken(const TokenSet& tokens, TextBuffer& out) {
  Source* source = source_;
  while (source->pushed != 0) {
    int c = static_cast<uint8_t>(source->pushback[--source->pushed]);
    if (tokens.IsToken(c)) return c;
    out.Append(static_cast<char>(c));
  }
  if (source->kind == Source::kString) {
    const char* p = source->pos;
    const char* end = source->end;
    const char* begin = p;
    while (p < end && tokens.role[static_cast<uint8_t>(*p)] == kNotToken) ++p;
    out.Append(begin, p - begin);
    if (p == end) {
      source->pos = end;
      ended = true;
      return -1;
    }
    source->pos = p + 1;
    return static_cast<uint8_t>(*p);
  }
  for (;;) {
    int c = Get();
    if (c < 0 || tokens.IsToken(c)) return c;
    out.Append(static_cast<char>(c));
  }
}

int Stream::CopyUntilAny(const char* set) {
  for (;;) {
    int c = Get();
    if (c < 0 || std::strchr(set, c) != nullptr) return c;
    sink_->Put(static_cast<char>(c));
  }
}

int Stream::ReadWhile(TextBuffer& out, const char* set, bool member) {
  for (;;) {
    int c = Get();
    if (c < 0) return c;
    if ((c != 0 && std::strchr(set, c) != nullptr) != member) {
      Unget(c);
      return c;
    }
    out.Append(static_cast<char>(c));
  }
}

void Stream::ReadIdentifier(TextBuffer& out) {
  Source* source = source_;
  if (source->pushed == 0 && source->kind == Source::kString) {
    const char* p = source->pos;
    const char* begin = p;
    while (p < source->end && IsIdentifierChar(static_cast<uint8_t>(*p))) ++p;
    out.Append(begin, p - begin);
    source->pos = p;
    if (p == source->end) ended = true;
    return;
  }
  for (;;) {
    int c = Get();
    if (c < 0) return;
    if (!IsIdentifierChar(c)) {
      Unget(c);
      return;
    }
    out.Append(static_cast<char>(c));
  }
}

}  // namespace script
