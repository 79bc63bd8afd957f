// Every attachment write operation run with each of its statements failing in turn, and
// with each of its file changes failing in turn: the failed root call must leave the
// contract database and the attachment tree exactly as they were. And one attachment
// through the econtract binary.
#include <gtest/gtest.h>

#include <iostream>
#include <nlohmann/json.hpp>

#include "platform/fs_transaction.h"
#include "tests/attachment_support.h"
#include "tests/binary_support.h"
#include "tests/fault_loop.h"

namespace {

namespace stdfs = std::filesystem;
using ec::Variant;
using namespace ectest;
const Variant kNone = Variant::missing();

class AttachmentFaultLoopTest : public AttachmentTest {
 protected:
  // Header document 1 (DRW) and line document 2 (TRMS) attached, and files staged for more.
  void base() {
    put(header(1) / "up" / "a.pdf", "A");
    headerDocs(1, dict({{"a.pdf", values({"DRW", false, "A"})}}), kAttach, kNone, kNone, Variant("up"));
    put(line(1, 1) / "up" / "l.pdf", "L");
    lineDocs(1, 1, dict({{"l.pdf", values({"TRMS", true, "L"})}}), kAttach, kNone, Variant("up"));
    put(header(1) / "up" / "n.pdf", "N");
    put(line(1, 1) / "up" / "m.pdf", "M");
    put(root() / "shared" / "s.pdf", "S");
  }

  std::pair<std::vector<std::string>, std::vector<std::string>> snapshot() const {
    return {databaseDigest(contractConn()), treeDigest(root())};
  }

  // Fails the 1st, 2nd, ... file change of the call until a run makes no more; returns the
  // changes of that clean run.
  int fileFaultLoop(const std::function<void()>& call) {
    for (int n = 1; n < 100; ++n) {
      const auto before = snapshot();
      int seen = 0;
      bool threw = false;
      {
        ec::fs::ScopedChangeHook hook([&](std::string_view change, const stdfs::path& p) {
          if (++seen == n) throw ec::ComError(ec::platform_errors::kPermissionDenied, "fault loop", std::string(change) + " " + p.string());
        });
        try {
          call();
        } catch (const ec::ComError&) {
          threw = true;
        }
      }
      if (seen < n) {
        EXPECT_FALSE(threw) << "the call fails without an injected failure";
        return seen;
      }
      EXPECT_TRUE(threw) << "failing file change " << n << " was absorbed";
      EXPECT_EQ(before, snapshot()) << "failing file change " << n << " changed the database or the tree";
    }
    ADD_FAILURE() << "too many file changes";
    return 0;
  }
};

TEST_F(AttachmentFaultLoopTest, EveryWriteOperationLeavesDatabaseAndTreeAsTheyWere) {
  // The environment is renewed per operation: its root is read at the call.
  const auto shared = [&] { return Variant(root().string() + "/shared"); };
  const Variant sharedDocs = dict({{"1", values({"S", "s.pdf"})}});
  const struct {
    const char* name;
    std::function<void()> call;
    int minStatements, minChanges;
  } operations[] = {
      {"header Attach", [&] { headerDocs(1, dict({{"n.pdf", values({"DRW", false, "N"})}}), kAttach, kNone, kNone, Variant("up")); }, 4, 4},
      {"header Revise", [&] { headerDocs(1, dict({{"n.pdf", values({"DRW", false, "N"})}}), kRevise, Variant(1), kNone, Variant("up")); }, 3, 4},
      {"header AttachTypes", [&] { headerDocs(1, dict({{shared(), values({"T", false})}}), kAttachTypes, kNone, sharedDocs); }, 3, 3},
      {"header Detach", [&] { headerDocs(1, dict({{"x", values({1, 0})}}), kDetach); }, 3, 2},
      {"header Activate", [&] { headerDocs(1, dict({{"x", values({1, 0})}}), kActivate); }, 1, 0},
      {"header Update", [&] { headerDocs(1, dict({{"x", values({1, 0, "TRM", true})}}), kUpdate); }, 3, 4},
      {"line Attach", [&] { lineDocs(1, 1, dict({{"m.pdf", values({"TRMS", false, "M"})}}), kAttach, kNone, Variant("up")); }, 4, 4},
      {"line AttachTypes", [&] { lineDocs(1, 1, dict({{shared(), values({"", false})}}), kAttachTypes, sharedDocs); }, 3, 2},
      {"line Detach", [&] { lineDocs(1, 1, dict({{"2", kNone}}), kDetach); }, 3, 2},
      {"line Update", [&] { lineDocs(1, 1, dict({{"x", values({2, "", false})}}), kUpdate); }, 3, 3},
      {"InsertContractAttachment", [&] { call("InsertContractAttachment", {"R", 1, 1, "T", false, 1, "r.pdf", 2}); }, 1, 0},
      {"UpdateDeleteContractAttachment", [&] { call("UpdateDeleteContractAttachment", {1, 0, "D", 0, 1, "DRW", true, 2, "a.pdf", 1}); }, 2, 0},
      {"UpdateContractAttachmentStatus", [&] { call("UpdateContractAttachmentStatus", {1, 1, 6}); }, 2, 0},
      {"CreateFolderIfNotExists", [&] { call("CreateFolderIfNotExists", {"E-Contract\\Attachments\\Header\\7"}); }, 0, 1},
  };
  for (const auto& op : operations) {
    SCOPED_TRACE(op.name);
    renew();
    base();
    const FaultLoopResult r = runFaultLoop(env(), op.call, FaultLoopOptions{{}, {root()}, {}, {}});
    EXPECT_GE(r.statements, op.minStatements);
    EXPECT_EQ(r.faults, r.statements);
    renew();
    base();
    const int changes = fileFaultLoop(op.call);
    EXPECT_GE(changes, op.minChanges);
    std::cout << "  " << op.name << ": " << r.statements << " statements, " << changes << " file changes\n";
  }
}

TEST(AttachmentBinary, AttachesAStagedFileThroughTheCommandLine) {
  TempFolder dir;
  // init makes the fixed part of the tree, also when run again.
  for (int run = 0; run < 2; ++run) ASSERT_EQ(runEcontract(dir.path(), "init").status, 0);
  EXPECT_TRUE(stdfs::is_directory(dir.path() / "attachments" / "E-Contract" / "Attachments" / "Header"));
  const stdfs::path line = dir.path() / "attachments" / "E-Contract" / "Attachments" / "Line" / "1_1";
  stdfs::create_directories(line / "up");
  spit(line / "up" / "terms.pdf", "PDF");
  const std::string args = R"([1, 1, {"terms.pdf": ["TRMS", true, "Terms of supply"]}, 1, {"$missing": true}, "up"])";
  Outcome r = runEcontract(dir.path(), "call TQSourceContractMTS.Contract AddRemoveLineAttachments " + quoted(args));
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(slurp(line / "1_0" / "TRMS" / "terms.pdf"), "PDF");
  EXPECT_FALSE(stdfs::exists(line / "up"));
  r = runEcontract(dir.path(), "call TQSourceContractMTS.Contract getfileName '[1, \"CONTRACTATTACHMENT\", null]'");
  EXPECT_EQ(nlohmann::json::parse(r.out)["result"], "terms.pdf") << r.out;

  // A file name that leaves its folder is refused (exit 3) before anything happens.
  const std::string bad = R"([1, 1, {"../../../../../econtract.json": ["", true, "x"]}, 1, {"$missing": true}, "up"])";
  r = runEcontract(dir.path(), "call TQSourceContractMTS.Contract AddRemoveLineAttachments " + quoted(bad));
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(nlohmann::json::parse(r.out)["error"]["number"], 5) << r.out;
}

}  // namespace
