// Sounds: WAV parsing, and requests that fail quietly but are always recorded.
#include "platform/sound.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

std::string Wave(std::uint16_t format, std::uint16_t channels, std::uint16_t bits,
                 const std::string& samples) {
  std::string fmt = Le(format, 2) + Le(channels, 2) + Le(22050, 4) +
                    Le(22050 * channels * bits / 8, 4) + Le(channels * bits / 8, 2) + Le(bits, 2);
  std::string body = "WAVE" + std::string("fmt ") + Le(16, 4) + fmt + "LIST" + Le(3, 4) + "abc" +
                     std::string(1, '\0') + "data" + Le(samples.size(), 4) + samples;
  return "RIFF" + Le(body.size(), 4) + body;
}

TEST(SoundTest, ParsesPcmWavesAndRejectsOthers) {
  WaveData wave;
  ASSERT_TRUE(ParseWave(Wave(1, 2, 16, std::string(8, 'x')), &wave));
  EXPECT_EQ(wave.channels, 2);
  EXPECT_EQ(wave.bits_per_sample, 16);
  EXPECT_EQ(wave.sample_rate, 22050u);
  EXPECT_EQ(wave.samples, std::string(8, 'x'));

  EXPECT_FALSE(ParseWave(Wave(2, 1, 16, "ab"), &wave));   // ADPCM
  EXPECT_FALSE(ParseWave(Wave(1, 6, 16, "ab"), &wave));   // six channels
  EXPECT_FALSE(ParseWave(Wave(1, 1, 24, "abc"), &wave));  // 24 bits
  std::string good = Wave(1, 1, 8, "abcd");
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_FALSE(ParseWave(good.substr(0, cut), &wave)) << cut;
  std::string huge = good;
  huge.replace(good.size() - 8, 4, Le(0xFFFFFFF0u, 4));  // data size past the end
  EXPECT_FALSE(ParseWave(huge, &wave));
}

TEST(SoundTest, RequestsAreRecordedAndBadFilesFailQuietly) {
  testing::TempPrefix prefix;
  const std::string log = prefix.dir() + "/ui.log";
  setenv("ZOMA_UI_LOG", log.c_str(), 1);
  { std::ofstream(prefix.drive_c() + "/bad.wav") << "RIFF junk"; }
  { std::ofstream(prefix.drive_c() + "/good.wav", std::ios::binary) << Wave(1, 1, 8, "\x80\x80"); }
  EXPECT_FALSE(PlaySound("C:\\missing.wav", kSndFilename));
  EXPECT_FALSE(PlaySound("C:\\bad.wav", kSndFilename | kSndAsync));
  EXPECT_TRUE(PlaySound("C:\\good.wav", kSndFilename));
  EXPECT_TRUE(PlaySound("C:\\good.wav", kSndFilename | kSndAsync | kSndLoop));
  EXPECT_TRUE(PlaySound("", kSndFilename));
  unsetenv("ZOMA_UI_LOG");
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "sound\tC:\\missing.wav\t00020000\n"
            "sound\tC:\\bad.wav\t00020001\n"
            "sound\tC:\\good.wav\t00020000\n"
            "sound\tC:\\good.wav\t00020009\n"
            "sound\t\t00020000\n");
}

}  // namespace
}  // namespace platform
