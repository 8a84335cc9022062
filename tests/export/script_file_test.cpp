#include "export/script_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/data_file_builder.h"

namespace tarnwick {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ScriptFiles, AreUtf16WithByteOrderMarkAndNoTranslation) {
  TempDir dir;
  // A bare LF (inside a value) stays as it is; the text brings its CR LF.
  ASSERT_TRUE(WriteScriptFile(dir.File("a.sql"), "a\r\n\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80\n"));
  EXPECT_EQ(ReadFileBytes(dir.File("a.sql")),
            (ByteBuffer{0xFF, 0xFE, 'a', 0, 0x0D, 0, 0x0A, 0, 0xFC, 0x00, 0xAC, 0x20, 0x3D, 0xD8,
                        0x00, 0xDE, 0x0A, 0}));
  ASSERT_TRUE(WriteScriptFile(dir.File("empty.sql"), ""));
  EXPECT_EQ(ReadFileBytes(dir.File("empty.sql")), (ByteBuffer{0xFF, 0xFE}));
}

TEST(ScriptFiles, TheBatchFileIsInTheCodePage) {
  TempDir dir;
  ASSERT_TRUE(WriteCodePageFile(dir.File("m.bat"), "\xC3\xA9\xE2\x82\xAC\r\n\xD0\x96", 1252));
  EXPECT_EQ(ReadFileBytes(dir.File("m.bat")), (ByteBuffer{0xE9, 0x80, 0x0D, 0x0A, '?'}));
}

TEST(AtomicFiles, ReplaceTheFileOnlyWhenCommitted) {
  TempDir dir;
  const std::string path = dir.File("t.sql");
  WriteFileBytes(path, {'o', 'l', 'd'});
  {
    std::optional<ScriptFile> file = ScriptFile::Create(path);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Append("half a statement"));
    EXPECT_EQ(file->size(), 2u + 2 * 16);
    EXPECT_EQ(ReadFileBytes(path), (ByteBuffer{'o', 'l', 'd'}));
  }  // dropped without Commit, as on a failure
  EXPECT_EQ(ReadFileBytes(path), (ByteBuffer{'o', 'l', 'd'}));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"t.sql"});

  std::optional<ScriptFile> abandoned = ScriptFile::Create(path);
  ASSERT_TRUE(abandoned);
  abandoned->Append("x");
  abandoned->Abandon();
  EXPECT_FALSE(abandoned->Commit());
  EXPECT_EQ(ReadFileBytes(path), (ByteBuffer{'o', 'l', 'd'}));

  std::optional<ScriptFile> file = ScriptFile::Create(path);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->Append("ab"));
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(ReadFileBytes(path), (ByteBuffer{0xFF, 0xFE, 'a', 0, 'b', 0}));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"t.sql"});
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::others_read);
}

TEST(AtomicFiles, KeepLargeTextsWhole) {
  TempDir dir;
  std::optional<AtomicFile> file = AtomicFile::Create(dir.File("big"));
  ASSERT_TRUE(file);
  std::string expected;
  // Pieces below, at and above the buffer's size.
  for (size_t size : {size_t{100}, size_t{1} << 20, (size_t{1} << 20) + 3, size_t{7}}) {
    const std::string piece(size, static_cast<char>('a' + expected.size() % 26));
    ASSERT_TRUE(file->Append(piece));
    expected += piece;
  }
  EXPECT_EQ(file->size(), expected.size());
  ASSERT_TRUE(file->Commit());
  const ByteBuffer written = ReadFileBytes(dir.File("big"));
  EXPECT_TRUE(written == ByteBuffer(expected.begin(), expected.end()));
}

TEST(AtomicFiles, FailWithoutAFolder) {
  TempDir dir;
  EXPECT_FALSE(AtomicFile::Create(dir.File("missing/t.sql")));
  EXPECT_FALSE(WriteScriptFile(dir.File("missing/t.sql"), "x"));
  EXPECT_TRUE(EnsureFolder(dir.File("missing/deeper")));
  EXPECT_TRUE(WriteScriptFile(dir.File("missing/deeper/t.sql"), "x"));
  // A folder in the way of the final name: the rename fails, nothing is left.
  EXPECT_TRUE(EnsureFolder(dir.File("in_the_way")));
  EXPECT_FALSE(WriteScriptFile(dir.File("in_the_way"), "x"));
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"in_the_way", "missing"}));
}

TEST(FileCommitters, CommitInOrderAndReportEachResult) {
  TempDir dir;
  EXPECT_TRUE(EnsureFolder(dir.File("in_the_way")));
  FileCommitter commits;
  std::vector<size_t> tickets;
  for (const std::string name : {"a.sql", "in_the_way", "b.sql"}) {
    std::optional<ScriptFile> file = ScriptFile::Create(dir.File(name));
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Append(name));
    // Only the temporary file until the committer renames it.
    if (name != "in_the_way") {
      EXPECT_FALSE(std::filesystem::exists(dir.File(name)));
    }
    tickets.push_back(commits.Commit(std::move(*file).TakeFile()));
  }
  EXPECT_TRUE(commits.Wait(tickets[0]));
  EXPECT_FALSE(commits.Wait(tickets[1]));
  EXPECT_TRUE(commits.Wait(tickets[2]));
  EXPECT_FALSE(commits.Wait(99));
  EXPECT_EQ(ReadFileBytes(dir.File("b.sql")),
            (ByteBuffer{0xFF, 0xFE, 'b', 0, '.', 0, 's', 0, 'q', 0, 'l', 0}));
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"a.sql", "b.sql", "in_the_way"}));
}

TEST(FileCommitters, FinishEveryFileBeforeTheyEnd) {
  TempDir dir;
  {
    FileCommitter commits;
    for (int i = 0; i < 20; ++i) {
      std::optional<AtomicFile> file = AtomicFile::Create(dir.File(std::to_string(i)));
      ASSERT_TRUE(file);
      file->Append(std::string(100000, 'x'));
      commits.Commit(std::move(*file));
    }
  }
  EXPECT_EQ(FolderEntries(dir.path()).size(), 20u);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(std::filesystem::file_size(dir.File(std::to_string(i))), 100000u);
}

TEST(PathNames, SafePathComponent) {
  struct Case {
    std::string name;
    std::string expected;
  };
  const Case cases[] = {
      {"Orders", "Orders"},
      {"a/b", "a_b"},
      {"a\\b", "a_b"},
      {"..", "__"},
      {".", "_"},
      {"", "_"},
      {"...", "__."},
      {"a..b", "a__b"},
      {".hidden", ".hidden"},
      {"../../etc", "______etc"},
      {"..\\..\\Windows", "______Windows"},
      {std::string("x\0y", 3), "x_y"},
      {"tab\there\x1F", "tab_here_"},
      {"del\x7F", "del_"},
      {"a:b*c?d\"e<f>g|h", "a_b_c_d_e_f_g_h"},
      {"50%off", "50_off"},
      {"Größe Таблица", "Größe Таблица"},
      {"a'b [c]", "a'b [c]"},
  };
  for (const Case& c : cases) {
    const std::string safe = SafePathComponent(c.name);
    EXPECT_EQ(safe, c.expected) << c.name;
    // One component that stays inside its folder.
    EXPECT_EQ(safe.find_first_of(std::string("/\\\0", 3)), std::string::npos) << c.name;
    EXPECT_NE(safe, ".");
    EXPECT_NE(safe, "..");
    EXPECT_FALSE(safe.empty());
  }
}

TEST(PathNames, NeedsSubstitute) {
  struct Case {
    std::string name;
    bool needs;
  };
  const Case cases[] = {
      {"abc", false},     {"Größe", false},           {"\xC3\xBF", false},  // U+00FF
      {"\xC4\x80", true},                                                   // U+0100
      {"Таблица", true},  {"\xF0\x9F\x98\x80", true}, {"\xFF", true},  // not UTF-8: read as U+FFFD
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(NeedsSubstitute(c.name), c.needs) << c.name;
}

TEST(PathNames, SubstitutesAndDuplicatesInOneSave) {
  ScriptNames names;
  // The database folder keeps the name; its script takes the first number.
  EXPECT_EQ(ScriptNames::DatabaseFolder("Продажи"), "Продажи");
  EXPECT_EQ(ScriptNames::DatabaseFolder(".."), "__");
  EXPECT_EQ(names.DatabaseScriptName("Продажи"), "UnicodeDatabase_1");
  struct Step {
    std::string table;
    std::string folder;
  };
  const Step steps[] = {
      {"Таблица", "Unicodetable_2"},
      {"Orders", "Orders"},
      {"orders", "orders_2"},
      {"ORDERS", "ORDERS_3"},
      {"a/b", "a_b"},
      {"a_b", "a_b_2"},
      {"maintablescript", "maintablescript_2"},
      {"Unicodetable_3", "Unicodetable_3"},
      {"Ωmega", "Unicodetable_3_2"},
      {"..", "__"},
  };
  for (const Step& s : steps) EXPECT_EQ(names.TableName(s.table), s.folder) << s.table;
  EXPECT_EQ(names.counter(), 3);

  ScriptNames other;
  EXPECT_EQ(other.DatabaseScriptName("Sales2019Old"), "Sales2019Old");
  EXPECT_EQ(other.DatabaseScriptName("UserDefineDataType"), "UserDefineDataType_2");
  EXPECT_EQ(other.TableName("Таблица"), "Unicodetable_1");
}

}  // namespace
}  // namespace tarnwick
