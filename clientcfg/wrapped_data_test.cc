#include "clientcfg/wrapped_data.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace clientcfg {
namespace {

std::string RandomText(std::mt19937& rng, std::size_t size, int alphabet) {
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>('a' + rng() % alphabet);
  return text;
}

// Builds a container by hand from the documented layout, with a chosen filler and seed.
std::string HandMadeContainer(const std::string& payload, const std::string& filler,
                              std::uint8_t seed, std::uint32_t version = 1) {
  std::string stream(compressBound(payload.size()), '\0');
  uLongf size = stream.size();
  compress(reinterpret_cast<Bytef*>(stream.data()), &size,
           reinterpret_cast<const Bytef*>(payload.data()), payload.size());
  stream.resize(size);
  auto le32 = [](std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
  };
  std::string out = "LCH!" + le32(version) + le32(filler.size() + payload.size() + 1) + "xyz";
  out.push_back(static_cast<char>(filler.size()));
  out += filler;
  out.push_back(static_cast<char>(seed));
  std::uint8_t key = static_cast<std::uint8_t>(seed * 2);
  for (char x : stream) {
    std::uint8_t c = static_cast<std::uint8_t>(x) ^ key;
    out.push_back(static_cast<char>(c));
    key = static_cast<std::uint8_t>(c * 2);
  }
  return out;
}

TEST(WrappedData, RoundTripsBlocksOfManySizes) {
  std::mt19937 rng(7);
  for (std::size_t size : {1u, 2u, 17u, 1999u, 2000u, 2001u, 65536u, 1000000u}) {
    std::string data = RandomText(rng, size, 4);
    auto wrapped = WrapData(data, kLaunchFileMagic);
    ASSERT_TRUE(wrapped) << size;
    EXPECT_EQ(wrapped->substr(0, 4), "VLI2");
    EXPECT_LE(static_cast<unsigned char>((*wrapped)[15]), 63);
    auto unwrapped = UnwrapData(*wrapped, kLaunchFileMagic);
    ASSERT_TRUE(unwrapped) << size;
    EXPECT_EQ(*unwrapped, data) << size;
  }
}

TEST(WrappedData, UnwrapsAContainerMadeToTheLayout) {
  EXPECT_EQ(UnwrapData(HandMadeContainer("$Set{x;1}$x", "", 0), kCookedScriptMagic), "$Set{x;1}$x");
  // A reader follows the filler length and a non-zero seed, whatever the writer does.
  EXPECT_EQ(UnwrapData(HandMadeContainer("payload", std::string(63, 'f'), 0x5A), "LCH!"),
            "payload");
  // Highly compressible data needs the doubling decompression buffer.
  std::string zeros(1 << 20, '\0');
  EXPECT_EQ(UnwrapData(HandMadeContainer(zeros, "ab", 3), "LCH!"), zeros);
}

TEST(WrappedData, OtherMagicComesBackUnchanged) {
  std::string plain = "plain text, not a container";
  EXPECT_EQ(UnwrapData(plain, kLaunchFileMagic), plain);
  EXPECT_EQ(UnwrapData("VLI", kLaunchFileMagic), "VLI");
  std::string script = HandMadeContainer("x", "", 0);
  EXPECT_EQ(UnwrapData(script, kLaunchFileMagic), script);
}

TEST(WrappedData, PayloadSizeIsReadFromTheHeaderAlone) {
  EXPECT_EQ(WrappedPayloadSize(HandMadeContainer("payload", std::string(63, 'f'), 1), "LCH!"), 7u);
  EXPECT_EQ(WrappedPayloadSize(*WrapData(std::string(5000, 'a'), "VLI2"), "VLI2"), 5000u);
  EXPECT_EQ(WrappedPayloadSize("plain text, not a container", "VLI2"), std::nullopt);
  EXPECT_EQ(WrappedPayloadSize(std::string("VLI2\1\0\0\0\0\0\0\0xyz\5", 16), "VLI2"),
            std::nullopt);  // a length field below the filler
  EXPECT_EQ(WrappedPayloadSize("VLI2short", "VLI2"), std::nullopt);
}

TEST(WrappedData, RefusesBadContainers) {
  EXPECT_FALSE(UnwrapData("", "LCH!"));
  EXPECT_FALSE(WrapData("", "LCH!"));
  EXPECT_FALSE(UnwrapData(HandMadeContainer("abc", "", 0, /*version=*/2), "LCH!"));

  std::string good = HandMadeContainer(std::string(5000, 'q') + "tail", "filler", 0);
  ASSERT_TRUE(UnwrapData(good, "LCH!"));
  // Every truncation that keeps the magic fails cleanly (header, filler, seed, stream).
  for (std::size_t size = 4; size < good.size(); size += (size < 40 ? 1 : 7))
    EXPECT_FALSE(UnwrapData(good.substr(0, size), "LCH!")) << size;

  // A filler length that points past the data.
  std::string filler_past_end = good.substr(0, 30);
  filler_past_end[15] = static_cast<char>(200);
  EXPECT_FALSE(UnwrapData(filler_past_end, "LCH!"));

  // A length field beyond the decompressed size: the tail would be bytes never written.
  auto with_length = [&](int delta) {
    std::string changed = good;
    std::uint32_t field = 6 + 5004 + 1 + delta;
    for (int i = 0; i < 4; ++i) changed[8 + i] = static_cast<char>(field >> (8 * i));
    return changed;
  };
  for (int delta : {1, 1000000}) EXPECT_FALSE(UnwrapData(with_length(delta), "LCH!")) << delta;
  // A shorter one cuts the payload, but damage past the cut still fails.
  EXPECT_EQ(UnwrapData(with_length(-4), "LCH!"), std::string(5000, 'q'));
  EXPECT_EQ(UnwrapData(with_length(-5004), "LCH!"), "");
  std::string damaged_tail = with_length(-4000);
  damaged_tail[damaged_tail.size() - 3] ^= 0x21;
  EXPECT_FALSE(UnwrapData(damaged_tail, "LCH!"));
  // A length field smaller than the filler itself.
  std::string tiny = good;
  tiny[8] = 2, tiny[9] = tiny[10] = tiny[11] = 0;
  EXPECT_FALSE(UnwrapData(tiny, "LCH!"));

  // Flipped bytes in the stream.
  std::string flipped = good;
  flipped[flipped.size() / 2] ^= 0x40;
  EXPECT_FALSE(UnwrapData(flipped, "LCH!"));
}

TEST(WrappedData, IncompressibleDataOverTheBufferCannotBeWrapped) {
  std::mt19937 rng(1);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  EXPECT_FALSE(WrapData(noise, "LCH!"));
  // Small incompressible data still fits the 2000-byte minimum buffer.
  EXPECT_TRUE(WrapData(noise.substr(0, 1000), "LCH!"));
}

}  // namespace
}  // namespace clientcfg
