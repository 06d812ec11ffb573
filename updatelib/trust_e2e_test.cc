// What the library trusts: only keys it knows (built in, or added by the key file beside
// it), only documents that name exactly the channel asked for, and key sets that the
// keys trusted before have signed.
#include <gtest/gtest.h>

#include <filesystem>

#include "updatelib/castanet.h"
#include "updatelib/channel/crypto.h"
#include "updatelib/channel/file_io.h"
#include "updatelib/channel/signed_text.h"
#include "updatelib/testing/update_fixture.h"

namespace castanet::testing {
namespace {

class TrustTest : public UpdateFixture {
 protected:
  SigningKey NewKey() {
    SigningKey key;
    std::string error;
    EXPECT_TRUE(GenerateSigningKey(&key, &error)) << error;
    return key;
  }
  zomapublish::PublishOptions SignedBy(const std::vector<SigningKey>& keys) {
    zomapublish::PublishOptions options = DefaultOptions();
    options.keys = keys;
    return options;
  }
  std::string KeySetFile() const { return target_ + "/.castanet/Zoma%2FPrograms/keyset"; }
};

TEST_F(TrustTest, WithoutAKnownKeyOrUnderAnotherNameNothingIsInstalled) {
  WriteSource("a.txt", "one");
  Publish();
  TrustKeys("");
  DriverRun keyless = Run({"--force"});
  EXPECT_TRUE(keyless.HasEvent(CASTANET_ERROR_BAD_SIGNATURE));
  EXPECT_EQ(keyless.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(TargetTree().empty());

  // The key file only adds keys: a stranger's key beside ours changes nothing.
  TrustKeys(PublicKeyLine(NewKey(), "stranger") + PublicKeyLine(key_, "test"));
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  auto installed = TargetTree();

  // The same documents served as "Test/Zoma/Programs" name another channel.
  std::filesystem::create_directories(www_ + "/Test/Zoma");
  std::filesystem::copy(www_ + "/" + kChannel, www_ + "/Test/" + kChannel,
                        std::filesystem::copy_options::recursive);
  std::string other_target = dir_ + "/other";
  DriverRun renamed = RunArgs({"--target", other_target, "--url", server_.Url("Test/Zoma/Programs"),
                               "--password", kPassword, "--force"});
  EXPECT_TRUE(renamed.HasEvent(CASTANET_ERROR_BAD_CONTENT));
  EXPECT_EQ(renamed.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(Tree(other_target).empty());
  EXPECT_EQ(TargetTree(), installed);
}

TEST_F(TrustTest, TheBuiltInKeysHoldAndAKeyFileOnlyAddsToThem) {
  SigningKey pinned = UsePinnedLibrary();
  WriteSource("a.txt", "one");
  Publish(SignedBy({pinned}));
  TrustKeys("");
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
  // A key file naming only another key does not replace the built-in one.
  TrustKeys(PublicKeyLine(key_, "test"));
  WriteSource("a.txt", "two");
  Publish(SignedBy({pinned}));
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  WriteSource("a.txt", "three");
  Publish(SignedBy({key_}));
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
  // The environment cannot name other keys to the library.
  auto installed = TargetTree();
  TrustKeys("");
  SigningKey outsider = NewKey();
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(dir_ + "/outsider.keys", PublicKeyLine(outsider, ""), &error));
  setenv("CASTANET_KEYS", (dir_ + "/outsider.keys").c_str(), 1);
  WriteSource("a.txt", "four");
  Publish(SignedBy({outsider}));
  DriverRun foreign = Run({"--force"});
  unsetenv("CASTANET_KEYS");
  EXPECT_TRUE(foreign.HasEvent(CASTANET_ERROR_BAD_SIGNATURE));
  EXPECT_EQ(TargetTree(), installed);
}

TEST_F(TrustTest, KeysRotateOnlyThroughASetTheTrustedKeysSigned) {
  WriteSource("a.txt", "one");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");

  // The publisher replaces its key: a set signed by the old key and the new one, then a
  // version signed with the new key alone.
  SigningKey new_key = NewKey();
  uint64_t set_version = 0;
  std::string error;
  ASSERT_TRUE(zomapublish::PublishKeySet(DefaultOptions(), {new_key}, 1, &set_version, &error))
      << error;
  EXPECT_EQ(set_version, 1u);
  WriteSource("a.txt", "two");
  Publish(SignedBy({new_key}));
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
  EXPECT_TRUE(std::filesystem::exists(KeySetFile()));
  auto installed = TargetTree();

  // The old key no longer counts, with or without a key set named in its pointer: a
  // server cannot roll the client back to the set it replaced.
  WriteSource("a.txt", "three");
  Publish(SignedBy({key_}));
  DriverRun old_key = Run({"--force"});
  EXPECT_TRUE(old_key.HasEvent(CASTANET_ERROR_BAD_SIGNATURE));
  EXPECT_EQ(TargetTree(), installed);
  std::filesystem::remove_all(www_ + "/" + kChannel + "/keys");
  WriteSource("a.txt", "four");
  Publish(SignedBy({key_}));
  DriverRun rolled_back = Run({"--force"});
  EXPECT_TRUE(rolled_back.HasEvent(CASTANET_ERROR_BAD_SIGNATURE));
  EXPECT_EQ(TargetTree(), installed);

  // A set signed by keys the client does not trust is refused, and so is what it signs.
  std::filesystem::create_directories(www_ + "/" + kChannel + "/keys");
  std::string kept_set;
  ASSERT_TRUE(ReadWholeFile(KeySetFile(), &kept_set, &error));
  ASSERT_TRUE(WriteFileAtomically(www_ + "/" + kChannel + "/keys/1", kept_set, &error));
  SigningKey thief = NewKey(), thief_new = NewKey();
  ASSERT_TRUE(zomapublish::PublishKeySet(SignedBy({thief}), {thief_new}, 1, &set_version, &error));
  EXPECT_EQ(set_version, 2u);
  WriteSource("a.txt", "five");
  Publish(SignedBy({thief_new}));
  DriverRun stolen = Run({"--force"});
  EXPECT_TRUE(stolen.HasEvent(CASTANET_ERROR_BAD_SIGNATURE));
  EXPECT_EQ(stolen.Call("mrbUpdate"), "-1");
  EXPECT_EQ(TargetTree(), installed);
  std::string still;
  ASSERT_TRUE(ReadWholeFile(KeySetFile(), &still, &error));
  EXPECT_EQ(still, kept_set);

  // The rightful publisher goes on with the set it rotated to.
  std::filesystem::remove(www_ + "/" + kChannel + "/keys/2");
  WriteSource("a.txt", "six");
  Publish(SignedBy({new_key}));
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
}

TEST_F(TrustTest, InstallsFollowLinksOnlyWithinTheTarget) {
  std::filesystem::create_directories(dir_ + "/outside");
  std::filesystem::create_directories(target_ + "/real");
  std::filesystem::create_directory_symlink(dir_ + "/outside", target_ + "/away");
  std::filesystem::create_directory_symlink(target_ + "/real", target_ + "/alias");
  WriteSource("alias/inside.txt", "in");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(Tree(target_ + "/real"), (std::map<std::string, std::string>{{"inside.txt", "in"}}));

  WriteSource("away/evil.txt", "out");
  WriteSource("alias/inside.txt", "in 2");
  Publish();
  DriverRun escaped = Run();
  EXPECT_EQ(escaped.Call("mrbUpdate"), "-1");
  EXPECT_TRUE(escaped.HasEvent(CASTANET_ERROR_INSTALL_FAILED));
  EXPECT_TRUE(Tree(dir_ + "/outside").empty());
  EXPECT_EQ(Tree(target_ + "/real"), (std::map<std::string, std::string>{{"inside.txt", "in"}}));
}

TEST_F(TrustTest, ARenameInLetterCaseReplacesTheFile) {
  WriteSource("Data/readme.txt", "one");
  WriteSource("same.txt", "same");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  RemoveSource("Data/readme.txt");
  RemoveSource("same.txt");
  WriteSource("Data/README.TXT", "two");
  WriteSource("SAME.TXT", "same");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
  // A file another program left in another spelling is the same file too.
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target_ + "/Data/Readme.Txt", "stray", &error));
  WriteSource("Data/README.TXT", "three");
  Publish();
  ASSERT_EQ(Run().Call("mrbUpdate"), "0");
  EXPECT_EQ(TargetTree(), SourceTree());
}

}  // namespace
}  // namespace castanet::testing
