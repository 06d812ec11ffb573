// Sounds through ALSA, loaded at run time so that the program runs on machines without
// it; with no library or no device the request is only recorded.
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/files.h"
#include "platform/sound.h"
#include "platform/ui_transcript.h"

namespace platform {
namespace {

constexpr std::size_t kMaxWaveBytes = 64u << 20;

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::uint16_t Read16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// The few ALSA calls used, by their published signatures.
struct Alsa {
  using Open = int (*)(void**, const char*, int, int);
  using SetParams = int (*)(void*, int, int, unsigned, unsigned, int, unsigned);
  using Write = long (*)(void*, const void*, unsigned long);
  using Drain = int (*)(void*);
  using Close = int (*)(void*);
  Open open = nullptr;
  SetParams set_params = nullptr;
  Write writei = nullptr;
  Drain drain = nullptr;
  Drain drop = nullptr;
  Close close = nullptr;
  bool loaded = false;
};

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// A device node or a sound server to talk to; without one ALSA is not even loaded.
bool SoundDevicePresent() {
  struct stat st;
  if (stat("/dev/snd", &st) == 0) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr) return false;
  std::string pulse = std::string(runtime) + "/pulse/native";
  return stat(pulse.c_str(), &st) == 0;
}

const Alsa& TheAlsa() {
  static Alsa alsa = [] {
    Alsa a;
    if (!SoundDevicePresent()) return a;
    void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return a;
    a.open = reinterpret_cast<Alsa::Open>(dlsym(library, "snd_pcm_open"));
    a.set_params = reinterpret_cast<Alsa::SetParams>(dlsym(library, "snd_pcm_set_params"));
    a.writei = reinterpret_cast<Alsa::Write>(dlsym(library, "snd_pcm_writei"));
    a.drain = reinterpret_cast<Alsa::Drain>(dlsym(library, "snd_pcm_drain"));
    a.drop = reinterpret_cast<Alsa::Drain>(dlsym(library, "snd_pcm_drop"));
    a.close = reinterpret_cast<Alsa::Close>(dlsym(library, "snd_pcm_close"));
    // ALSA reports missing cards on standard error; a failed sound stays quiet.
    using ErrorHandler = void (*)(const char*, int, const char*, int, const char*, ...);
    auto set_handler =
        reinterpret_cast<int (*)(ErrorHandler)>(dlsym(library, "snd_lib_error_set_handler"));
    if (set_handler) set_handler(SilentAlsaError);
    a.loaded = a.open && a.set_params && a.writei && a.drain && a.drop && a.close;
    return a;
  }();
  return alsa;
}

// One sound at a time, as Windows plays them: a new request stops the one before.
std::mutex player_mutex;
// Never destroyed: a sound may still play while the process ends.
std::thread& player = *new std::thread;
std::atomic<bool> stop_requested{false};
std::atomic<bool> playing{false};

void StopPlayer() {
  stop_requested = true;
  if (player.joinable()) player.join();
  stop_requested = false;
}

void Play(const WaveData& wave, bool loop) {
  const Alsa& alsa = TheAlsa();
  if (!alsa.loaded) return;
  void* pcm = nullptr;
  // SND_PCM_STREAM_PLAYBACK 0; format U8 1 or S16_LE 2; access RW_INTERLEAVED 3.
  if (alsa.open(&pcm, "default", 0, 0) < 0) return;
  int format = wave.bits_per_sample == 8 ? 1 : 2;
  if (alsa.set_params(pcm, format, 3, wave.channels, wave.sample_rate, 1, 500000) < 0) {
    alsa.close(pcm);
    return;
  }
  const std::size_t frame = wave.channels * (wave.bits_per_sample / 8);
  const std::size_t frames = wave.samples.size() / frame;
  do {
    std::size_t done = 0;
    while (done < frames && !stop_requested) {
      std::size_t chunk = std::min<std::size_t>(frames - done, 4096);
      long n = alsa.writei(pcm, wave.samples.data() + done * frame, chunk);
      if (n <= 0) {
        loop = false;
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  } while (loop && !stop_requested);
  if (stop_requested) {
    alsa.drop(pcm);
  } else {
    alsa.drain(pcm);
  }
  alsa.close(pcm);
}

bool ReadWaveFile(const std::string& name, WaveData* wave) {
  std::FILE* file = OpenStdioFile(name, "rb");
  if (file == nullptr) return false;
  std::string bytes;
  char chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes.size() <= kMaxWaveBytes)
    bytes.append(chunk, n);
  std::fclose(file);
  return bytes.size() <= kMaxWaveBytes && ParseWave(bytes, wave);
}

std::string Hex8(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

}  // namespace

bool ParseWave(const std::string& bytes, WaveData* wave) {
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
    return false;
  WaveData result;
  bool have_format = false;
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::uint32_t size = Read32(bytes, at + 4);
    const std::size_t body = at + 8;
    if (size > bytes.size() - body) return false;
    if (bytes.compare(at, 4, "fmt ") == 0) {
      if (size < 16 || Read16(bytes, body) != 1) return false;  // PCM only
      result.channels = Read16(bytes, body + 2);
      result.sample_rate = Read32(bytes, body + 4);
      result.bits_per_sample = Read16(bytes, body + 14);
      if ((result.channels != 1 && result.channels != 2) ||
          (result.bits_per_sample != 8 && result.bits_per_sample != 16) ||
          result.sample_rate < 1000 || result.sample_rate > 192000)
        return false;
      have_format = true;
    } else if (bytes.compare(at, 4, "data") == 0) {
      if (!have_format) return false;
      result.samples = bytes.substr(body, size);
      if (wave) *wave = std::move(result);
      return true;
    }
    at = body + size + (size & 1);  // chunks are padded to even sizes
  }
  return false;
}

bool PlaySound(const std::string& sound, std::uint32_t flags) {
  ui::AppendTranscript({"sound", sound, Hex8(flags)});
  std::lock_guard<std::mutex> lock(player_mutex);
  if ((flags & kSndNoStop) && playing) return false;
  StopPlayer();
  if (sound.empty()) return true;
  auto wave = std::make_shared<WaveData>();
  if (!ReadWaveFile(sound, wave.get())) return false;
  const bool loop = (flags & kSndLoop) && (flags & kSndAsync);
  if (!(flags & kSndAsync)) {
    Play(*wave, false);
    return true;
  }
  playing = true;
  player = std::thread([wave, loop] {
    Play(*wave, loop);
    playing = false;
  });
  return true;
}

}  // namespace platform
