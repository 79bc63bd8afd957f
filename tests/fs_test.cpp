#include "platform/fs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/error.h"

namespace stdfs = std::filesystem;
using ec::ComError;
using ec::fs::FileSystem;
namespace pe = ec::platform_errors;

namespace {

template <class F>
ComError errorOf(F&& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception: " << e.what();
    return {};
  }
  ADD_FAILURE() << "no error was raised";
  return {};
}

void write(const stdfs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string read(const stdfs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void makeReadOnly(const stdfs::path& p) {
  stdfs::permissions(p, stdfs::perms::owner_write | stdfs::perms::group_write | stdfs::perms::others_write,
                     stdfs::perm_options::remove);
}

bool isReadOnly(const stdfs::path& p) {
  return (stdfs::status(p).permissions() & stdfs::perms::owner_write) == stdfs::perms::none;
}

class FsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    base_ = stdfs::temp_directory_path() /
            ("ec_fs_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    root_ = base_ / "root";
    outside_ = base_ / "outside";
    stdfs::create_directories(root_);
    stdfs::create_directories(outside_);
  }
  void TearDown() override {
    std::error_code ec;
    for (stdfs::recursive_directory_iterator it(base_, ec), end; !ec && it != end; it.increment(ec))
      if (!it->is_symlink()) stdfs::permissions(it->path(), stdfs::perms::owner_all, stdfs::perm_options::add, ec);
    stdfs::remove_all(base_, ec);
  }
  // The root as the system writes it, followed by a backslash-separated tail.
  std::string sys(const std::string& tail) const { return root_.string() + "\\" + tail; }

  stdfs::path base_, root_, outside_;
};

TEST(FsToNative, MapsBackslashesAndCollapsesSeparators) {
  // Compared as text: path equality would hide uncollapsed separators.
  const auto native = [](std::string_view s) { return ec::fs::toNative(s).string(); };
  EXPECT_EQ(native("/srv/att\\E-Contract\\Attachments\\Header\\12_0\\QUO\\a.pdf"),
            "/srv/att/E-Contract/Attachments/Header/12_0/QUO/a.pdf");
  EXPECT_EQ(native("a\\\\b//c\\/d"), "a/b/c/d");
  EXPECT_EQ(native("\\\\server\\share"), "/server/share");
  EXPECT_EQ(native("dir\\"), "dir/");
  EXPECT_EQ(native(""), "");
  const ComError e = errorOf([] { ec::fs::toNative(std::string_view("a\0b", 3)); });
  EXPECT_EQ(e.number(), pe::kPathFileAccessError);
  EXPECT_EQ(e.source(), "econtract.fs");
}

TEST_F(FsTest, ConfineAcceptsPathsInsideRootAndRefusesEscapes) {
  using ec::fs::confine;
  EXPECT_EQ(confine(root_, "E-Contract\\x.pdf"), root_ / "E-Contract" / "x.pdf");
  EXPECT_EQ(confine(root_, sys("E-Contract\\x.pdf")), root_ / "E-Contract" / "x.pdf");
  // The root itself, however it is written.
  for (const std::string& p : {std::string(), root_.string(), root_.string() + "\\", std::string("."), sys("a\\..")})
    EXPECT_EQ(confine(root_, p), root_) << p;
  EXPECT_EQ(confine(root_ / "", "a"), root_ / "a");
  // ".." that stays inside, even after leaving and re-entering by name.
  EXPECT_EQ(confine(root_, "a\\b\\..\\c"), root_ / "a" / "c");
  EXPECT_EQ(confine(root_, sys("..\\root\\b")), root_ / "b");

  for (const std::string& p : {std::string("..\\x"), std::string("a\\..\\..\\x"), sys("..\\outside"),
                               std::string("/etc/passwd"), std::string("\\etc\\passwd"),
                               (base_ / "root2" / "x").string()}) {
    const ComError e = errorOf([&] { confine(root_, p); });
    EXPECT_EQ(e.number(), pe::kPathFileAccessError) << p;
    EXPECT_EQ(e.source(), "econtract.fs");
    EXPECT_NE(e.description().find("is outside the attachment root " + root_.string()), std::string::npos)
        << e.description();
  }
  EXPECT_EQ(errorOf([&] { confine(root_, "..\\x"); }).description(),
            "Path ../x is outside the attachment root " + root_.string());
  EXPECT_EQ(errorOf([&] { confine(root_, std::string_view("a\0b", 3)); }).number(), pe::kPathFileAccessError);
}

TEST_F(FsTest, ConfineFollowsSymlinks) {
  using ec::fs::confine;
  write(outside_ / "secret", "s");
  stdfs::create_directory(root_ / "real");
  stdfs::create_directory_symlink(outside_, root_ / "out");
  stdfs::create_directory_symlink(root_ / "real", root_ / "in");
  stdfs::create_symlink(outside_ / "new.txt", root_ / "dangling-out");
  stdfs::create_symlink("real/new.txt", root_ / "dangling-in");

  for (const char* p : {"out", "out\\secret", "out\\new\\deeper", "dangling-out"})
    EXPECT_EQ(errorOf([&] { confine(root_, p); }).number(), pe::kPathFileAccessError) << p;
  // The returned path keeps the link, so an operation on it stays where it was checked.
  EXPECT_EQ(confine(root_, "in\\f"), root_ / "in" / "f");
  EXPECT_EQ(confine(root_, "dangling-in"), root_ / "dangling-in");
  // "out\.." is lexically the root and is used as such.
  EXPECT_EQ(confine(root_, "out\\..\\real"), root_ / "real");

  // A root reached through a symlink still contains its own files.
  stdfs::create_directory_symlink(root_, base_ / "rootlink");
  EXPECT_EQ(confine(base_ / "rootlink", "real"), base_ / "rootlink" / "real");
  // A path written elsewhere is refused even when a link there leads back into the root.
  EXPECT_EQ(errorOf([&] { confine(root_, (base_ / "rootlink" / "real").string()); }).number(),
            pe::kPathFileAccessError);
}

TEST_F(FsTest, CreateFolderMakesOneLevelOnly) {
  const FileSystem fs(root_);
  fs.createFolder(sys("E-Contract"));
  EXPECT_TRUE(fs.folderExists("E-Contract"));

  const ComError missing = errorOf([&] { fs.createFolder(sys("E-Contract\\Attachments\\Header")); });
  EXPECT_EQ(missing.number(), pe::kPathNotFound);
  EXPECT_NE(missing.description().find((root_ / "E-Contract/Attachments/Header").string()), std::string::npos);
  EXPECT_FALSE(stdfs::exists(root_ / "E-Contract" / "Attachments"));

  fs.createFolder("E-Contract\\Attachments\\");
  EXPECT_TRUE(stdfs::is_directory(root_ / "E-Contract" / "Attachments"));
  EXPECT_EQ(errorOf([&] { fs.createFolder("E-Contract"); }).number(), pe::kFileAlreadyExists);
  write(root_ / "file", "x");
  EXPECT_EQ(errorOf([&] { fs.createFolder("file"); }).number(), pe::kFileAlreadyExists);
  EXPECT_FALSE(fs.folderExists("file"));
  EXPECT_FALSE(fs.folderExists("nothing"));

  // Without a root the path is only mapped.
  FileSystem().createFolder(base_.string() + "\\free");
  EXPECT_TRUE(stdfs::is_directory(base_ / "free"));
}

TEST_F(FsTest, CopyFileHonoursOverwriteAndReportsMissingParts) {
  const FileSystem fs(root_);
  write(root_ / "a.txt", "new");
  write(root_ / "b.txt", "old");
  stdfs::create_directory(root_ / "dir");

  fs.copyFile("a.txt", "dir\\c.txt", false);
  EXPECT_EQ(read(root_ / "dir" / "c.txt"), "new");

  EXPECT_EQ(errorOf([&] { fs.copyFile("a.txt", "b.txt", false); }).number(), pe::kFileAlreadyExists);
  EXPECT_EQ(read(root_ / "b.txt"), "old");
  fs.copyFile("a.txt", "b.txt", true);
  EXPECT_EQ(read(root_ / "b.txt"), "new");

  EXPECT_EQ(errorOf([&] { fs.copyFile("none.txt", "x.txt", true); }).number(), pe::kFileNotFound);
  EXPECT_EQ(errorOf([&] { fs.copyFile("a.txt", "nodir\\x.txt", true); }).number(), pe::kPathNotFound);
  EXPECT_EQ(errorOf([&] { fs.copyFile("a.txt", "dir", true); }).number(), pe::kFileAlreadyExists);
  EXPECT_EQ(errorOf([&] { fs.copyFile("a.txt", "a.txt", true); }).number(), pe::kPathFileAccessError);
  makeReadOnly(root_ / "b.txt");
  write(root_ / "a.txt", "newer");
  EXPECT_EQ(errorOf([&] { fs.copyFile("a.txt", "b.txt", true); }).number(), pe::kPermissionDenied);
  EXPECT_EQ(read(root_ / "b.txt"), "new");
}

TEST_F(FsTest, DeleteFileNeedsForceForReadOnlyFiles) {
  const FileSystem fs(root_);
  write(root_ / "ro.txt", "x");
  makeReadOnly(root_ / "ro.txt");
  const ComError e = errorOf([&] { fs.deleteFile("ro.txt", false); });
  EXPECT_EQ(e.number(), pe::kPermissionDenied);
  EXPECT_NE(e.description().find((root_ / "ro.txt").string()), std::string::npos);
  EXPECT_TRUE(stdfs::exists(root_ / "ro.txt"));
  fs.deleteFile(sys("ro.txt"), true);
  EXPECT_FALSE(stdfs::exists(root_ / "ro.txt"));

  EXPECT_EQ(errorOf([&] { fs.deleteFile("ro.txt", true); }).number(), pe::kFileNotFound);
  stdfs::create_directory(root_ / "dir");
  EXPECT_EQ(errorOf([&] { fs.deleteFile("dir", true); }).number(), pe::kFileNotFound);
  EXPECT_TRUE(stdfs::is_directory(root_ / "dir"));

  // A link is removed itself; its read-only target is neither touched nor unprotected.
  write(root_ / "dir" / "target", "t");
  makeReadOnly(root_ / "dir" / "target");
  stdfs::create_symlink(root_ / "dir" / "target", root_ / "link");
  fs.deleteFile("link", true);
  EXPECT_FALSE(stdfs::is_symlink(root_ / "link"));
  EXPECT_TRUE(stdfs::exists(root_ / "dir" / "target"));
  EXPECT_TRUE(isReadOnly(root_ / "dir" / "target"));
}

TEST_F(FsTest, DeleteFolderRemovesNestedContents) {
  const FileSystem fs(root_);
  const stdfs::path d = root_ / "d";
  stdfs::create_directories(d / "sub" / "deeper");
  stdfs::create_directories(d / "ro");
  write(d / "a.txt", "a");
  write(d / "sub" / "b.txt", "b");
  write(d / "sub" / "deeper" / "c.txt", "c");
  write(d / "ro" / "x.txt", "x");
  makeReadOnly(d / "sub" / "b.txt");
  makeReadOnly(d / "ro");
  // Links inside the tree lead to things that must survive the deletion unchanged.
  stdfs::create_directories(root_ / "keep");
  write(root_ / "keep" / "k.txt", "k");
  makeReadOnly(root_ / "keep" / "k.txt");
  stdfs::create_symlink(root_ / "keep" / "k.txt", d / "file-link");
  stdfs::create_directory_symlink(root_ / "keep", d / "sub" / "dir-link");

  EXPECT_EQ(errorOf([&] { fs.deleteFolder("d", false); }).number(), pe::kPermissionDenied);
  EXPECT_TRUE(stdfs::exists(d / "a.txt"));  // refused before anything was removed
  EXPECT_TRUE(stdfs::exists(d / "sub" / "deeper" / "c.txt"));

  fs.deleteFolder(sys("d\\"), true);
  EXPECT_FALSE(stdfs::exists(d));
  EXPECT_EQ(read(root_ / "keep" / "k.txt"), "k");
  EXPECT_TRUE(isReadOnly(root_ / "keep" / "k.txt"));

  EXPECT_EQ(errorOf([&] { fs.deleteFolder("d", true); }).number(), pe::kPathNotFound);
  EXPECT_EQ(errorOf([&] { fs.deleteFolder("keep\\k.txt", true); }).number(), pe::kPathNotFound);

  stdfs::create_directories(root_ / "plain" / "inner");
  write(root_ / "plain" / "inner" / "f", "f");
  fs.deleteFolder("plain", false);
  EXPECT_FALSE(stdfs::exists(root_ / "plain"));
}

TEST_F(FsTest, ListsAndCountsFolderContents) {
  const FileSystem fs(root_);
  const stdfs::path f = root_ / "f";
  stdfs::create_directories(f / "s1" / "nested");
  stdfs::create_directories(f / "s2");
  for (const char* name : {"b.txt", "a.txt", "C.txt"}) write(f / name, name);
  write(f / "s1" / "inner.txt", "i");
  stdfs::create_symlink(f / "gone", f / "dangling");

  EXPECT_EQ(fs.fileNames(sys("f")), (std::vector<std::string>{"C.txt", "a.txt", "b.txt"}));
  EXPECT_EQ(fs.fileCount("f\\"), 3);
  EXPECT_EQ(fs.subFolderCount("f"), 2);
  EXPECT_EQ(fs.fileCount("f\\s2"), 0);
  EXPECT_EQ(fs.subFolderCount("f\\s2"), 0);
  EXPECT_TRUE(fs.fileNames("f\\s2").empty());
  EXPECT_EQ(errorOf([&] { fs.fileNames("missing"); }).number(), pe::kPathNotFound);
  EXPECT_EQ(errorOf([&] { fs.fileCount("f\\a.txt"); }).number(), pe::kPathNotFound);
}

TEST_F(FsTest, RootedFileSystemRefusesEveryOperationOutsideRoot) {
  const FileSystem fs(root_);
  write(outside_ / "f", "f");
  write(root_ / "in.txt", "i");
  const auto refused = [](auto&& op) { return errorOf(op).number() == pe::kPathFileAccessError; };
  EXPECT_TRUE(refused([&] { fs.deleteFolder("..\\outside", true); }));
  EXPECT_TRUE(refused([&] { fs.deleteFile(sys("..\\outside\\f"), true); }));
  EXPECT_TRUE(refused([&] { fs.copyFile("..\\outside\\f", "copy.txt", true); }));
  EXPECT_TRUE(refused([&] { fs.copyFile("in.txt", outside_.string() + "\\g", true); }));
  EXPECT_TRUE(refused([&] { fs.createFolder("..\\new"); }));
  EXPECT_TRUE(refused([&] { fs.fileNames("..\\outside"); }));
  EXPECT_TRUE(refused([&] { fs.folderExists("..\\outside"); }));
  EXPECT_TRUE(stdfs::exists(outside_ / "f"));
  EXPECT_FALSE(stdfs::exists(outside_ / "g"));
  EXPECT_FALSE(stdfs::exists(root_ / "copy.txt"));
}

}  // namespace
