// WAV files for PlaySound: any bytes either parse to PCM whose samples lie inside the
// input, or are refused.
#include "fuzz/fuzz_input.h"
#include "platform/sound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(fuzz::AsText(data, size));
  platform::WaveData wave;
  if (platform::ParseWave(bytes, &wave)) {
    fuzz::Require(wave.samples.size() <= bytes.size(), "samples come from the input");
    fuzz::Require(wave.channels == 1 || wave.channels == 2, "one or two channels");
    fuzz::Require(wave.bits_per_sample == 8 || wave.bits_per_sample == 16, "8 or 16 bits");
  }
  return 0;
}
