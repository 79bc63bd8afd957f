// File changes joined to a root call's transaction: commit, rollback, a failing commit of
// another resource, and the recovery of what an interrupted call left behind.
#include "platform/fs_transaction.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/host.h"
#include "tests/binary_support.h"
#include "tests/fault_loop.h"

namespace {

namespace stdfs = std::filesystem;
using ectest::slurp;
using ectest::spit;

class FsTransactionTest : public ::testing::Test {
 protected:
  FsTransactionTest() : root_(tmp_.path() / "root"), fs_(root_) {
    stdfs::create_directories(root_ / "d");
    spit(root_ / "a.txt", "old a");
    spit(root_ / "b.txt", "b");
    spit(root_ / "d" / "c.txt", "c");
    spit(root_ / "src.txt", "new");
  }
  // Overwrites a file, deletes a file and a folder, makes a folder and a file in it.
  void change() const {
    fs_.copyFile("src.txt", "a.txt", true);
    fs_.deleteFile("b.txt", false);
    fs_.deleteFolder("d", false);
    fs_.createFolder("n");
    fs_.copyFile("src.txt", "n\\c.txt", false);
  }
  std::vector<std::string> tree() const { return ectest::treeDigest(root_); }

  ectest::TempFolder tmp_;
  stdfs::path root_;
  ec::fs::TransactionalFileSystem fs_;
};

TEST_F(FsTransactionTest, CommitKeepsTheChangesAndRollbackUndoesThem) {
  const auto before = tree();
  enum class End { Commit, Abort, Thrown };
  for (End end : {End::Abort, End::Thrown, End::Commit}) {
    {
      ec::TransactionScope scope;
      change();
      if (end == End::Abort) scope.context()->setAbort();
      if (end != End::Thrown) scope.finish();
    }
    if (end != End::Commit) {
      EXPECT_EQ(tree(), before) << static_cast<int>(end);
    }
  }
  EXPECT_EQ(slurp(root_ / "a.txt"), "new");
  EXPECT_EQ(slurp(root_ / "n" / "c.txt"), "new");
  EXPECT_FALSE(stdfs::exists(root_ / "b.txt"));
  EXPECT_FALSE(stdfs::exists(root_ / "d"));
  EXPECT_EQ(tree().size(), 4u);  // a.txt, n/, n/c.txt, src.txt: no work folder left
}

TEST_F(FsTransactionTest, AFailedCommitOfTheDatabaseRollsTheFilesBack) {
  struct FailingCommit : ec::TransactionResource {
    void commit() override { throw ec::ComError(1, "test", "commit refused"); }
    void rollback() override {}
  };
  const auto before = tree();
  {
    ec::TransactionScope scope;
    change();  // the files join first, yet commit last
    scope.context()->enlist("db:test", std::make_shared<FailingCommit>());
    EXPECT_THROW(scope.finish(), ec::ComError);
  }
  EXPECT_EQ(tree(), before);
}

TEST_F(FsTransactionTest, AnInterruptedCallIsFinishedAndARunningOneIsLeftAlone) {
  const auto before = tree();
  const pid_t child = ::fork();
  if (child == 0) {
    ec::TransactionScope scope;
    change();
    ::_exit(0);  // dies in the middle of its call: neither commit nor rollback
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_NE(tree(), before);

  {
    ec::TransactionScope running;
    fs_.createFolder("z");  // this call's own work folder is locked while it runs
    EXPECT_EQ(ec::fs::recoverInterruptedCalls(root_), 0);
    running.context()->setAbort();
    running.finish();
  }
  // Joining, that call already finished the dead one: the tree is back as it was.
  EXPECT_EQ(tree(), before);
}

TEST_F(FsTransactionTest, RecoveryFollowsTheJournal) {
  const std::string head = "econtract file journal 1\n";
  const struct {
    const char* folder;
    std::string journal;
    const char* aAfter;  // content of a.txt afterwards ("" when it is gone)
    int finished;
  } cases[] = {
      {".econtract-call-1", head + "F a.txt\n", "", 1},                // a file the call made goes
      {".econtract-call-2", head + "F a.txt\nC\n", "made", 1},         // committed: kept
      {".econtract-call-3", head + "S b1 a.txt\n", "saved", 1},        // a file set aside comes back
      {".econtract-call-4", head + "F a.txt", "made", 1},              // a torn line never started
      {".econtract-setup-5", {}, "made", 0},                           // a young set-up folder is left
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    stdfs::remove_all(root_);
    stdfs::create_directories(root_ / c.folder);
    spit(root_ / "a.txt", "made");
    if (!c.journal.empty()) spit(root_ / c.folder / "journal", c.journal);
    spit(root_ / c.folder / "b1", "saved");
    EXPECT_EQ(ec::fs::recoverInterruptedCalls(root_), c.finished);
    EXPECT_EQ(stdfs::exists(root_ / "a.txt") ? slurp(root_ / "a.txt") : "", c.aAfter);
    EXPECT_EQ(stdfs::exists(root_ / c.folder), c.finished == 0);
  }
}

}  // namespace
