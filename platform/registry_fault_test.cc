// The registry store when the disk fails under it: every write of the database goes
// through the system-call table of SQLite's unix VFS (xSetSystemCall), so a test fails
// the N-th one. A full disk or an I/O error at any write leaves the old value or the
// new one, a failure is reported as one, and the next write goes through.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace platform::reg {
namespace {

constexpr const char* kKey = "HKLM\\Software\\Norvance\\Zoma\\Update";

int writes_left = -1;
int failure_errno = 0;

bool FailNow() {
  if (writes_left < 0 || writes_left-- > 0) return false;
  errno = failure_errno;
  return true;
}

using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);
WriteFn real_write;
PwriteFn real_pwrite, real_pwrite64;

ssize_t FailingWrite(int fd, const void* data, size_t size) {
  return FailNow() ? -1 : real_write(fd, data, size);
}
ssize_t FailingPwrite(int fd, const void* data, size_t size, off_t offset) {
  return FailNow() ? -1 : real_pwrite(fd, data, size, offset);
}
ssize_t FailingPwrite64(int fd, const void* data, size_t size, off_t offset) {
  return FailNow() ? -1 : real_pwrite64(fd, data, size, offset);
}

class RegistryFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vfs_ = sqlite3_vfs_find(nullptr);
    ASSERT_NE(vfs_, nullptr);
    real_write = reinterpret_cast<WriteFn>(vfs_->xGetSystemCall(vfs_, "write"));
    real_pwrite = reinterpret_cast<PwriteFn>(vfs_->xGetSystemCall(vfs_, "pwrite"));
    real_pwrite64 = reinterpret_cast<PwriteFn>(vfs_->xGetSystemCall(vfs_, "pwrite64"));
    ASSERT_TRUE(real_write || real_pwrite || real_pwrite64);
  }
  void TearDown() override {
    writes_left = -1;
    vfs_->xSetSystemCall(vfs_, nullptr, nullptr);  // every call back to the real one
  }
  void Inject() {
    auto set = [this](const char* name, auto real, auto failing) {
      if (real) vfs_->xSetSystemCall(vfs_, name, reinterpret_cast<sqlite3_syscall_ptr>(failing));
    };
    set("write", real_write, FailingWrite);
    set("pwrite", real_pwrite, FailingPwrite);
    set("pwrite64", real_pwrite64, FailingPwrite64);
  }

  // Runs `change` with the N-th write failing, for every N until it runs through; after
  // each, `check` is given whether the change reported success.
  template <typename Change, typename Check, typename Reset>
  void ForEveryWrite(Change change, Check check, Reset reset) {
    for (int n = 0; n < 200; ++n) {
      reset();
      Inject();
      writes_left = n;
      Status status = change();
      bool reached = writes_left < 0;
      writes_left = -1;
      check(status == kErrorSuccess, n);
      if (!reached) {
        EXPECT_EQ(status, kErrorSuccess);
        EXPECT_GT(n, 0) << "a change writes the database";
        return;
      }
      EXPECT_NE(status, kErrorSuccess) << "a failed write reported as success at write " << n;
    }
    ADD_FAILURE() << "the change never ran through";
  }

  testing::TempPrefix prefix_;
  sqlite3_vfs* vfs_ = nullptr;
};

TEST_F(RegistryFaultTest, AFullDiskOrAnIoErrorAtAnyWriteKeepsTheOldValueOrTheNew) {
  for (int error : {ENOSPC, EIO}) {
    failure_errno = error;
    ForEveryWrite([] { return WriteString(kKey, "Download Settings Count", "2"); },
                  [](bool succeeded, int n) {
                    std::optional<std::string> value = ReadString(kKey, "Download Settings Count");
                    if (succeeded)
                      EXPECT_EQ(value, "2") << n;
                    else
                      EXPECT_TRUE(value == "1" || value == "2") << n;
                    EXPECT_EQ(ReadString(kKey, "Password"), "kept") << n;
                  },
                  [] {
                    ASSERT_EQ(WriteString(kKey, "Password", "kept"), kErrorSuccess);
                    ASSERT_EQ(WriteString(kKey, "Download Settings Count", "1"), kErrorSuccess);
                  });
  }
}

TEST_F(RegistryFaultTest, ATreeDeleteThatFailsDeletesNothing) {
  failure_errno = ENOSPC;
  ForEveryWrite([] { return DeleteTree(kLocalMachine, "Software\\Norvance"); },
                [](bool succeeded, int n) {
                  std::optional<std::string> a = ReadString(kKey, "a");
                  std::optional<std::string> b = ReadString("HKLM\\Software\\Norvance\\Other", "b");
                  if (succeeded) {
                    EXPECT_FALSE(a || b) << n;
                  } else {
                    EXPECT_EQ(a.has_value(), b.has_value()) << "half a tree at write " << n;
                  }
                },
                [] {
                  ASSERT_EQ(WriteString(kKey, "a", "1"), kErrorSuccess);
                  ASSERT_EQ(WriteString("HKLM\\Software\\Norvance\\Other", "b", "2"),
                            kErrorSuccess);
                });
}

}  // namespace
}  // namespace platform::reg
