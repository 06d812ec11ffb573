// zomapublish: publishes a directory tree as a signed update channel.
//
//   zomapublish keygen <name>                     writes <name>.key and <name>.pub
//   zomapublish publish --root R --channel C --source DIR [--key K]... [options]
//   zomapublish refresh --root R --channel C [--key K]... [--expires-days N]
//   zomapublish rotate --root R --channel C --key OLD... --new-key NEW... [--threshold N]
#include <CLI/CLI.hpp>
#include <cstdio>

#include "updatelib/channel/publisher.h"

int main(int argc, char** argv) {
  CLI::App app{"Publishes a directory tree as a signed Castanet update channel."};
  app.require_subcommand(1);

  std::string key_base;
  CLI::App* keygen = app.add_subcommand("keygen", "Make an Ed25519 key pair");
  keygen->add_option("name", key_base, "Base name of the .key and .pub files")->required();

  zomapublish::PublishOptions options;
  std::vector<std::string> key_files;
  double expires_days = 30;
  CLI::App* publish = app.add_subcommand("publish", "Publish a new version of a channel");
  CLI::App* refresh = app.add_subcommand("refresh", "Sign the pointer again with a new expiry");
  CLI::App* rotate =
      app.add_subcommand("rotate", "Publish a new key set, signed by the current and new keys");
  std::vector<std::string> new_key_files;
  int threshold = 1;
  rotate->add_option("--new-key", new_key_files, "Private key file of the new set; repeat")
      ->required();
  rotate->add_option("--threshold", threshold, "How many new keys must sign (default 1)");
  for (CLI::App* command : {publish, refresh, rotate}) {
    command->add_option("--root", options.document_root, "Document root of the server")->required();
    command->add_option("--channel", options.channel, "Channel name, e.g. Zoma/Programs")
        ->required();
    command->add_option("--key", key_files, "Private key file; repeat for several signers");
    command->add_option("--expires-days", expires_days, "Lifetime of the pointer in days");
  }
  publish->add_option("--source", options.source, "Directory tree to publish")->required();
  publish->add_option("--version", options.version, "Version number (default: next)");
  publish->add_option("--level", options.level, "zstd level of objects");
  publish->add_option("--patch-level", options.patch_level, "zstd level of patches");
  publish->add_option("--patch-history", options.patch_history,
                      "Make patches from this many earlier versions");
  CLI11_PARSE(app, argc, argv);

  std::string error;
  if (keygen->parsed()) {
    if (!zomapublish::WriteKeyPair(key_base, &error)) {
      std::fprintf(stderr, "zomapublish: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  for (const std::string& file : key_files) {
    castanet::SigningKey key;
    if (!zomapublish::ReadPrivateKey(file, &key, &error)) {
      std::fprintf(stderr, "zomapublish: %s\n", error.c_str());
      return 1;
    }
    options.keys.push_back(key);
  }
  options.expires_seconds = static_cast<uint64_t>(expires_days * 86400);
  if (rotate->parsed()) {
    std::vector<castanet::SigningKey> new_keys;
    for (const std::string& file : new_key_files) {
      castanet::SigningKey key;
      if (!zomapublish::ReadPrivateKey(file, &key, &error)) {
        std::fprintf(stderr, "zomapublish: %s\n", error.c_str());
        return 1;
      }
      new_keys.push_back(key);
    }
    uint64_t version = 0;
    if (!zomapublish::PublishKeySet(options, new_keys, threshold, &version, &error)) {
      std::fprintf(stderr, "zomapublish: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s key set %llu published; publish the next version with the new keys\n",
                options.channel.c_str(), static_cast<unsigned long long>(version));
    return 0;
  }
  if (refresh->parsed()) {
    if (!zomapublish::RefreshPointer(options, &error)) {
      std::fprintf(stderr, "zomapublish: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  zomapublish::PublishReport report;
  if (!zomapublish::Publish(options, &report, &error)) {
    std::fprintf(stderr, "zomapublish: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s version %llu: %zu files, %zu new objects, %zu patches, %llu bytes stored\n",
              options.channel.c_str(), static_cast<unsigned long long>(report.version),
              report.files, report.new_objects, report.patches,
              static_cast<unsigned long long>(report.bytes_stored));
  return 0;
}
