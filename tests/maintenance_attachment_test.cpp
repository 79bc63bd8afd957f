// Contract attachments of TQSourceContractMTS.Contract: the rows, the documents of headers
// and lines with their files in the attachment tree, and the paths built from caller text.
#include <gtest/gtest.h>

#include <limits>

#include "maintenance/contract.h"
#include "platform/db/db.h"
#include "tests/attachment_support.h"
#include "tests/fault_loop.h"
#include "utilities/econtract_utilities.h"

namespace {

namespace stdfs = std::filesystem;
using ec::SafeArray;
using ec::Variant;
using namespace ectest;
const Variant kNone = Variant::missing();

constexpr const char* kAlreadyAttached = "This Document is already attached to this Contract";

TEST_F(AttachmentTest, HeaderAttachStoresTheFileAndRefusesTheSameFileWithTheSameType) {
  put(header(1) / "up" / "terms.pdf", "v1");
  ec::db::StatementTrace trace;
  headerDocs(1, dict({{"terms.pdf", values({"DRW", true, "Drawing"})}}), kAttach, kNone, kNone, Variant("up"));
  EXPECT_TRUE(trace.contains("INSERT CONTRACTATTACHMENT(ATTACHMENTID,DESCRIPTION,CONTRACTHEADERID,ATTACHMENTTYPECODE,"
                             "INTERNAL,ATTACHMENTSTATUS,FILEPATH,REVISIONNUMBER) VALUES(1,'Drawing',1,'DRW',-1,1,"
                             "'terms.pdf',0)"));
  EXPECT_EQ(read(header(1) / "1_0" / "DRW" / "terms.pdf"), "v1");
  EXPECT_FALSE(exists(header(1) / "up"));  // the staging folder went with its last file
  EXPECT_EQ(rows("ATTACHMENTID=1 AND CONTRACTLINEID IS NULL AND ATTACHMENTSTATUS=1"), 1);

  // The same file again: refused with the same type code, stored apart with another one or
  // with none (then directly in the document folder).
  const struct {
    const char* type;
    stdfs::path stored;
  } cases[] = {{"DRW", {}}, {"TRM", header(1) / "2_0" / "TRM" / "terms.pdf"}, {"", header(1) / "3_0" / "terms.pdf"}};
  for (const auto& c : cases) {
    put(header(1) / "up" / "terms.pdf", c.type);
    const auto attach = [&] {
      headerDocs(1, dict({{"terms.pdf", values({c.type, false, "again"})}}), kAttach, kNone, kNone, Variant("up"));
    };
    if (c.stored.empty()) {
      const ec::ComError e = errorOf(attach);
      EXPECT_EQ(e.number(), ec::errors::kDocumentAlreadyAttached);
      EXPECT_EQ(e.source(), "");
      EXPECT_NE(e.description().find(kAlreadyAttached), std::string::npos);
      EXPECT_TRUE(exists(header(1) / "up" / "terms.pdf"));
    } else {
      attach();
      EXPECT_EQ(read(c.stored), c.type);
    }
  }
  EXPECT_EQ(rows(), 3);
}

TEST_F(AttachmentTest, DeleteAttachmentsFromFolderRemovesTheFolderWithItsLastFileOnly) {
  const struct {
    std::vector<std::string> files;
    bool subFolder;
    std::vector<Variant> names;
    std::vector<std::string> left;
    bool folderStays;
  } cases[] = {
      {{"a.pdf"}, false, {"A.PDF"}, {}, false},  // names match without case
      {{"a.pdf", "b.pdf"}, false, {"a.pdf", "x.pdf"}, {"b.pdf"}, true},
      {{"a.pdf"}, true, {"a.pdf"}, {}, true},  // a folder with a sub-folder stays
      {{}, false, {"a.pdf"}, {}, false},
  };
  int n = 0;
  for (const auto& c : cases) {
    const stdfs::path folder = tree() / ("case" + std::to_string(n++));
    stdfs::create_directories(folder);
    for (const auto& f : c.files) put(folder / f);
    if (!c.files.empty())  // read-only files go too
      stdfs::permissions(folder / c.files[0], stdfs::perms::owner_write, stdfs::perm_options::remove);
    if (c.subFolder) stdfs::create_directories(folder / "sub");
    EContractUtilities::DeleteAttachmentsFromFolder(folder.string(), SafeArray::of(c.names));
    EXPECT_EQ(exists(folder), c.folderStays) << folder;
    for (const auto& f : c.files) {
      const bool kept = std::find(c.left.begin(), c.left.end(), f) != c.left.end();
      EXPECT_EQ(exists(folder / f), kept) << folder / f;
    }
  }
  EContractUtilities::DeleteAttachmentsFromFolder((tree() / "absent").string(), SafeArray::of({Variant("a")}));
}

TEST_F(AttachmentTest, HeaderDetachActivateAndExpire) {
  put(header(1) / "up" / "a.pdf");
  put(header(1) / "up" / "b.pdf");
  headerDocs(1, dict({{"a.pdf", values({"DRW", false, "A"})}, {"b.pdf", values({"", false, "B"})}}), kAttach, kNone,
             kNone, Variant("up"));
  stdfs::create_directories(header(1) / "2_0" / "keep");

  // An Active document is not detached, and nothing is said about it.
  headerDocs(1, dict({{"x", values({1, 0})}}), kActivate);
  headerDocs(1, dict({{"x", values({1, 0})}}), kDetach);
  EXPECT_EQ(count("SELECT ATTACHMENTSTATUS FROM CONTRACTATTACHMENT WHERE ATTACHMENTID=1"), 5);
  EXPECT_TRUE(exists(header(1) / "1_0" / "DRW" / "a.pdf"));
  headerDocs(1, dict({{"x", values({1, 0})}}), kExpire);
  EXPECT_EQ(count("SELECT ATTACHMENTSTATUS FROM CONTRACTATTACHMENT WHERE ATTACHMENTID=1"), 6);

  // Document 2 in status Create goes with its file; its folder keeps its sub-folder.
  headerDocs(1, dict({{"x", values({2, 0})}}), kDetach);
  EXPECT_EQ(rows("ATTACHMENTID=2"), 0);
  EXPECT_FALSE(exists(header(1) / "2_0" / "b.pdf"));
  EXPECT_TRUE(exists(header(1) / "2_0" / "keep"));
}

TEST_F(AttachmentTest, ReviseStoresTheNextRevisionInItsOwnFolder) {
  for (int rev = 0; rev <= 2; ++rev)
    exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID,REVISIONNUMBER,CONTRACTHEADERID,ATTACHMENTSTATUS,FILEPATH) "
         "VALUES (12," + std::to_string(rev) + ",1,5,'old.pdf')");
  put(header(1) / "up" / "new.pdf", "rev3");
  headerDocs(1, dict({{"new.pdf", values({"DRW", false, "Revised"})}}), kRevise, Variant(12), kNone, Variant("up"));
  EXPECT_EQ(rows("ATTACHMENTID=12 AND REVISIONNUMBER=3 AND ATTACHMENTSTATUS=1 AND FILEPATH='new.pdf'"), 1);
  EXPECT_EQ(read(header(1) / "12_3" / "DRW" / "new.pdf"), "rev3");
}

TEST_F(AttachmentTest, UpdateMovesTheFileToTheFolderOfItsNewTypeCode) {
  put(header(1) / "up" / "a.pdf", "A");
  headerDocs(1, dict({{"a.pdf", values({"DRW", false, "A"})}}), kAttach, kNone, kNone, Variant("up"));
  put(line(1, 2) / "up" / "a.pdf", "L");
  lineDocs(1, 2, dict({{"a.pdf", values({"", false, "L"})}}), kAttach, kNone, Variant("up"));

  // Header document 1: DRW -> none -> TRM; line document 2: none -> NEW.
  headerDocs(1, dict({{"x", values({1, 0, "", true})}}), kUpdate);
  EXPECT_EQ(read(header(1) / "1_0" / "a.pdf"), "A");
  EXPECT_FALSE(exists(header(1) / "1_0" / "DRW"));
  headerDocs(1, dict({{"x", values({1, 0, "TRM", false})}}), kUpdate);
  EXPECT_EQ(read(header(1) / "1_0" / "TRM" / "a.pdf"), "A");
  EXPECT_FALSE(exists(header(1) / "1_0" / "a.pdf"));
  EXPECT_EQ(rows("ATTACHMENTID=1 AND ATTACHMENTTYPECODE='TRM' AND INTERNAL=0"), 1);
  lineDocs(1, 2, dict({{"x", values({2, "NEW", true})}}), kUpdate);
  EXPECT_EQ(read(line(1, 2) / "2_0" / "NEW" / "a.pdf"), "L");
  EXPECT_EQ(rows("ATTACHMENTID=2 AND ATTACHMENTTYPECODE='NEW' AND INTERNAL=-1"), 1);

  // Another header document of that name cannot take the same type code; a document that
  // does not exist cannot be updated.
  put(header(1) / "up" / "a.pdf", "B");
  headerDocs(1, dict({{"a.pdf", values({"X", false, "B"})}}), kAttach, kNone, kNone, Variant("up"));
  EXPECT_EQ(errorOf([&] { headerDocs(1, dict({{"x", values({3, 0, "TRM", false})}}), kUpdate); }).number(),
            ec::errors::kDocumentAlreadyAttached);
  EXPECT_EQ(errorOf([&] { headerDocs(1, dict({{"x", values({9, 0, "TRM", false})}}), kUpdate); }).number(),
            ec::errors::kAttachmentNotFound);
  EXPECT_EQ(errorOf([&] { lineDocs(1, 2, dict({{"x", values({9, "T", false})}}), kUpdate); }).number(),
            ec::errors::kAttachmentNotFound);
  EXPECT_EQ(read(header(1) / "3_0" / "X" / "a.pdf"), "B");
}

TEST_F(AttachmentTest, LineAttachFromStagingOrOldPathAndDetachWithAllRevisions) {
  put(line(1, 1) / "up" / "l.pdf", "staged");
  put(root() / "incoming" / "o.pdf", "kept");
  lineDocs(1, 1, dict({{"l.pdf", values({"TRMS", true, "L"})}}), kAttach, kNone, Variant("up"));
  lineDocs(1, 1, dict({{"o.pdf", values({"", false, "O"})}}), kAttach, kNone, kNone,
           Variant((root() / "incoming").string()));
  EXPECT_EQ(read(line(1, 1) / "1_0" / "TRMS" / "l.pdf"), "staged");
  EXPECT_FALSE(exists(line(1, 1) / "up"));
  EXPECT_EQ(read(line(1, 1) / "2_0" / "o.pdf"), "kept");
  EXPECT_EQ(read(root() / "incoming" / "o.pdf"), "kept");  // a file given by its old path stays
  EXPECT_EQ(rows("CONTRACTHEADERID=1 AND CONTRACTLINEID=1 AND REVISIONNUMBER=0"), 2);
  EXPECT_EQ(errorOf([&] {
              put(line(1, 1) / "up" / "l.pdf");
              lineDocs(1, 1, dict({{"l.pdf", values({"TRMS", true, "L"})}}), kAttach, kNone, Variant("up"));
            }).number(),
            ec::errors::kDocumentAlreadyAttached);

  // Revisions of document 1 made as rows; a line Detach removes them all with the file.
  for (int i = 0; i < 2; ++i) call("InsertContractAttachment", {"L", 1, 1, "TRMS", true, 1, "l.pdf", 1});
  headerDocs(1, dict({{"x", values({1, 0})}}), kActivate);  // the header operation leaves line rows' files
  lineDocs(1, 1, dict({{"1", kNone}}), kActivate);          // no effect on a line
  EXPECT_EQ(rows("ATTACHMENTID=1"), 3);
  exec("UPDATE CONTRACTATTACHMENT SET ATTACHMENTSTATUS=1 WHERE ATTACHMENTID=1");
  lineDocs(1, 1, dict({{"1", kNone}}), kDetach);
  EXPECT_EQ(rows("ATTACHMENTID=1"), 0);
  EXPECT_FALSE(exists(line(1, 1) / "1_0" / "TRMS"));
}

TEST_F(AttachmentTest, AttachTypesCopiesFromTheRootOrAnImportFolderAndLeavesTheSource) {
  const stdfs::path imports = env().dir() / "imports";
  setImportFolders({imports.string()});
  put(imports / "batch" / "a.pdf", "A");
  put(root() / "shared" / "b.pdf", "B");
  const Variant docsA = dict({{"1", values({"Doc A", "a.pdf"})}});
  headerDocs(1, dict({{(imports / "batch").string(), values({"", true})}}), kAttachTypes, kNone, docsA);
  lineDocs(1, 1, dict({{(root() / "shared").string(), values({"T", false})}}), kAttachTypes,
           dict({{"1", values({"Doc B", "b.pdf"})}}));
  EXPECT_EQ(read(header(1) / "1_0" / "a.pdf"), "A");  // the empty type code's level is the folder itself
  EXPECT_EQ(read(line(1, 1) / "2_0" / "T" / "b.pdf"), "B");
  EXPECT_TRUE(exists(imports / "batch" / "a.pdf"));
  EXPECT_TRUE(exists(root() / "shared" / "b.pdf"));
  EXPECT_EQ(rows("ATTACHMENTID=1 AND DESCRIPTION='Doc A' AND CONTRACTLINEID IS NULL"), 1);
  EXPECT_EQ(rows("ATTACHMENTID=2 AND DESCRIPTION='Doc B' AND CONTRACTLINEID=1"), 1);
  // The same document from the same folder again is a duplicate.
  EXPECT_EQ(errorOf([&] {
              headerDocs(1, dict({{(imports / "batch").string(), values({"", true})}}), kAttachTypes, kNone, docsA);
            }).number(),
            ec::errors::kDocumentAlreadyAttached);
}

TEST_F(AttachmentTest, RowMaintenanceAndLineStatus) {
  TQSourceContractMTS::Contract c;
  c.InsertContractAttachment("H", 0, 1, "T", false, 1, "h.pdf");
  c.InsertContractAttachment("L", 3, 1, "T", true, 1, "l.pdf");
  c.InsertContractAttachment("L2", 3, 1, "T", true, 1, "l2.pdf", Variant(2));
  c.InsertContractAttachment("none", 3, 1, "T", true, 1, "x.pdf", Variant(99));  // no such document: nothing
  EXPECT_EQ(rows("ATTACHMENTID=1 AND REVISIONNUMBER=0 AND CONTRACTLINEID IS NULL"), 1);
  EXPECT_EQ(rows("ATTACHMENTID=2 AND REVISIONNUMBER=1 AND CONTRACTLINEID=3 AND FILEPATH='l2.pdf'"), 1);
  EXPECT_EQ(rows(), 3);

  // Updating a header attachment keeps it one (line 0 is stored as NULL).
  c.UpdateDeleteContractAttachment(1, 0, "H2", 0, 1, "U", true, 2, "h2.pdf", 1);
  EXPECT_EQ(rows("ATTACHMENTID=1 AND CONTRACTLINEID IS NULL AND DESCRIPTION='H2' AND ATTACHMENTSTATUS=2"), 1);
  const ec::ComError missing = errorOf([&] { c.UpdateDeleteContractAttachment(1, 7, "", 0, 1, "", false, 1, "", 2); });
  EXPECT_EQ(missing.number(), ec::errors::kAttachmentNotFound);
  EXPECT_EQ(missing.source(), "");

  // The line's status mirrored on its attachments: Active -> Active, expired -> expired,
  // anything else changes nothing.
  for (const auto& [lineStatus, expected] : std::vector<std::pair<int32_t, int64_t>>{{6, 5}, {3, 5}, {7, 6}}) {
    c.UpdateContractAttachmentStatus(1, 3, lineStatus);
    EXPECT_EQ(rows("CONTRACTLINEID=3 AND ATTACHMENTSTATUS=" + std::to_string(expected)), 2) << lineStatus;
  }
  EXPECT_EQ(rows("ATTACHMENTID=1 AND ATTACHMENTSTATUS=2"), 1);

  EXPECT_EQ(c.getfileName(2, "CONTRACTATTACHMENT", Variant(1)), "l2.pdf");
  EXPECT_EQ(c.getfileName(2, "CONTRACTATTACHMENT", Variant::null()), "l.pdf");
  EXPECT_EQ(c.getfileName(42, "CONTRACTATTACHMENT", Variant::null()), "");
  EXPECT_EQ(errorOf([&] { c.getfileName(1, "CONTRACTATTACHMENT; DELETE FROM CONTRACTLINE", Variant::null()); }).number(),
            ec::platform_errors::kInvalidProcedureCall);
  c.UpdateDeleteContractAttachment(2, 1, "", 0, 1, "", false, 1, "", 2);
  EXPECT_EQ(rows("ATTACHMENTID=2"), 1);
}

TEST_F(AttachmentTest, AttachmentIdsPassSixteenBitsAndOverflowOnlyAtThirtyTwo) {
  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID,REVISIONNUMBER,CONTRACTHEADERID) VALUES (32767,0,1)");
  put(header(1) / "up" / "a.pdf");
  headerDocs(1, dict({{"a.pdf", values({"", false, "A"})}}), kAttach, kNone, kNone, Variant("up"));
  EXPECT_TRUE(exists(header(1) / "32768_0" / "a.pdf"));
  call("InsertContractAttachment", {"row", 0, 1, "", false, 1, "r.pdf"});
  EXPECT_EQ(rows("ATTACHMENTID=32769"), 1);

  exec("INSERT INTO CONTRACTATTACHMENT (ATTACHMENTID,REVISIONNUMBER,CONTRACTHEADERID) VALUES (2147483647,0,1)");
  put(header(1) / "up" / "b.pdf");
  EXPECT_EQ(errorOf([&] {
              headerDocs(1, dict({{"b.pdf", values({"", false, "B"})}}), kAttach, kNone, kNone, Variant("up"));
            }).number(),
            ec::platform_errors::kOverflow);
  EXPECT_TRUE(exists(header(1) / "up" / "b.pdf"));
  EXPECT_EQ(rows(), 4);
}

TEST_F(AttachmentTest, PathsFromCallerTextStayInsideTheRoot) {
  const stdfs::path outside = env().dir() / "outside";
  put(outside / "secret.pdf");
  put(header(1) / "up" / "a.pdf");
  stdfs::create_directory_symlink(outside, header(1) / "link");
  const auto attachAs = [&](const std::string& file, const std::string& type, const std::string& staging) {
    return [=, this] { headerDocs(1, dict({{file, values({type, false, "x"})}}), kAttach, kNone, kNone, Variant(staging)); };
  };
  const struct {
    std::function<void()> call;
    const char* argument;
  } cases[] = {
      {attachAs("..", "", "up"), "i_oDicFileDetail"},
      {attachAs("../../../../../outside/secret.pdf", "", "up"), "i_oDicFileDetail"},
      {attachAs("a\\b", "", "up"), "i_oDicFileDetail"},
      {attachAs("   ", "", "up"), "i_oDicFileDetail"},
      {attachAs(std::string("a.pdf\0x", 7), "", "up"), "i_oDicFileDetail"},
      {attachAs("a.pdf", "..", "up"), "i_oDicFileDetail"},
      {attachAs("a.pdf", "D/E", "up"), "i_oDicFileDetail"},
      {attachAs("secret.pdf", "", "..\\..\\..\\..\\..\\outside"), "o_sAttFilePath"},
      {attachAs("secret.pdf", "", "link"), "o_sAttFilePath"},
      {[&] { lineDocs(1, 1, dict({{"secret.pdf", values({"", false, "x"})}}), kAttach, kNone, kNone, Variant(outside.string())); },
       "i_sOldFilePath"},
      {[&] { headerDocs(1, dict({{outside.string(), values({"", false})}}), kAttachTypes, kNone, dict({{"1", values({"d", "secret.pdf"})}})); },
       "i_oDicFileDetail"},
      {[&] { lineDocs(1, 1, dict({{root().string(), values({"", false})}}), kAttachTypes, dict({{"1", values({"d", "../x"})}})); },
       "i_oDicAttachments"},
      {[&] { headerDocs(1, dict({{"x", values({1, 0, "..", false})}}), kUpdate); }, "i_oDicFileDetail"},
      {[&] { call("CreateFolderIfNotExists", {"..\\outside\\new"}); }, "i_sFilePath"},
  };
  const auto snapshot = [&] {
    return std::make_tuple(databaseDigest(contractConn()), treeDigest(root()), treeDigest(outside));
  };
  const auto before = snapshot();
  for (const auto& c : cases) {
    const ec::ComError e = errorOf(c.call);
    EXPECT_EQ(e.number(), ec::platform_errors::kInvalidProcedureCall) << e.description();
    EXPECT_NE(e.description().find(c.argument), std::string::npos) << e.description();
  }
  EXPECT_EQ(before, snapshot());

  // Inside the root a folder is made one level at a time.
  call("CreateFolderIfNotExists", {"E-Contract\\Attachments\\Header\\9"});
  EXPECT_TRUE(exists(header(9)));
  EXPECT_EQ(errorOf([&] { call("CreateFolderIfNotExists", {"a\\b"}); }).number(), ec::platform_errors::kPathNotFound);
}

}  // namespace
