#include "reader/database_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/support/data_file_builder.h"
#include "tests/support/recording_sink.h"

namespace tarnwick {
namespace {

using testing::DataFileBuilder;
using testing::RecordingSink;
using testing::TempDir;

struct Opened {
  RunState state;
  RecordingSink sink;
  std::unique_ptr<CDatabaseFile> db;
  bool ok = false;
};

std::unique_ptr<Opened> OpenFile(const std::string& path) {
  auto o = std::make_unique<Opened>();
  o->db = std::make_unique<CDatabaseFile>(o->state, o->sink);
  o->ok = o->db->Open(path);
  return o;
}

TEST(DatabaseFile, AlignmentDecidesTheBaseOffset) {
  struct Case {
    const char* what;
    size_t prefix;         // garbage bytes before page 0
    size_t trailing;       // garbage bytes after the last page
    bool ids_in_place;     // page headers carry their own positions
    uint64_t base_offset;  // expected
  } cases[] = {
      {"whole pages, in place", 0, 0, true, 0},
      {"pages at the remainder stay there", 100, 0, true, 100},
      {"pages at 0 with a tail: second pass finds them", 0, 100, true, 0},
      {"nothing in place keeps the remainder", 100, 0, false, 100},
  };
  for (const Case& c : cases) {
    TempDir dir;
    DataFileBuilder b(20);
    if (!c.ids_in_place)
      for (uint32_t i = 0; i < 20; ++i) b.Page(i).PageId(static_cast<int32_t>(i + 1000));
    b.Prefix(c.prefix);
    ByteBuffer bytes = b.Build();
    bytes.resize(bytes.size() + c.trailing, 0xEE);
    testing::WriteFileBytes(dir.File("a.mdf"), bytes);
    auto o = OpenFile(dir.File("a.mdf"));
    ASSERT_TRUE(o->ok) << c.what;
    EXPECT_EQ(o->db->baseOffset(), c.base_offset) << c.what;
    EXPECT_EQ(o->db->pageCount(), 20u) << c.what;
    // Page 10 (system object 34) must be found where the pages really are.
    ASSERT_EQ(o->db->systemPages().count(34), 1u) << c.what;
  }
}

TEST(DatabaseFile, SmallFilesStartTheAlignmentPassAtAQuarter) {
  // Six pages: the passes start at page 6 / 4 = 1. Only page 1 is in place,
  // and only when read from position 0.
  TempDir dir;
  DataFileBuilder b(6);
  for (uint32_t i = 0; i < 6; ++i) b.Page(i).PageId(777);
  b.Page(1).PageId(1);
  b.Page(2).Type(1).ObjectId(34);
  ByteBuffer bytes = b.Build();
  bytes.resize(bytes.size() + 100, 0);
  testing::WriteFileBytes(dir.File("a.mdf"), bytes);
  auto o = OpenFile(dir.File("a.mdf"));
  ASSERT_TRUE(o->ok);
  EXPECT_EQ(o->db->baseOffset(), 0u);
}

TEST(DatabaseFile, ReportsStatusTextsInOrder) {
  TempDir dir;
  auto o = OpenFile(DataFileBuilder(300).WriteTo(dir.File("a.mdf")));
  ASSERT_TRUE(o->ok);
  std::vector<std::string> expected = {
      "status:Checking for file corruption ...........",
      "range:300",
      "status:Checking for file corruption is done...........",
      "range:300",
      "status:Mapping Database Objects...........",
      "status:Mapping of Database Objects has been done ......................",
  };
  EXPECT_EQ(o->sink.calls, expected);
  EXPECT_EQ(o->sink.last_position, 300u);
  EXPECT_LE(o->sink.positions, 250) << "progress about a hundred times a pass, not per page";
}

TEST(DatabaseFile, RefusesWhatIsNotADataFile) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string path;
    const char* message;
  };
  std::vector<Case> cases;
  cases.push_back({"missing file", dir.File("missing.mdf"), kFileCannotBeOpen});
  std::filesystem::create_directory(dir.File("folder.mdf"));
  cases.push_back({"a folder", dir.File("folder.mdf"), kFileCannotBeOpen});
  testing::WriteFileBytes(dir.File("empty.mdf"), {});
  cases.push_back({"empty file", dir.File("empty.mdf"), kNotValidMdf});
  testing::WriteFileBytes(dir.File("short.mdf"), ByteBuffer(8191, 1));
  cases.push_back({"8191 bytes", dir.File("short.mdf"), kNotValidMdf});
  testing::WriteFileBytes(dir.File("zeros.mdf"), ByteBuffer(8192, 0));
  cases.push_back({"one zero page", dir.File("zeros.mdf"), kNotValidMdf});
  ByteBuffer noise(40 * 8192 + 77);
  uint32_t x = 12345;
  for (auto& byte : noise) {
    x = x * 1103515245 + 12345;
    byte = static_cast<uint8_t>(x >> 24);
  }
  testing::WriteFileBytes(dir.File("noise.mdf"), noise);
  cases.push_back({"random bytes", dir.File("noise.mdf"), kNotValidMdf});
  for (const Case& c : cases) {
    auto o = OpenFile(c.path);
    EXPECT_FALSE(o->ok) << c.what;
    ASSERT_FALSE(o->sink.calls.empty()) << c.what;
    EXPECT_EQ(o->sink.calls.back(), std::string("error:") + c.message) << c.what;
  }
}

TEST(DatabaseFile, PageReadBounds) {
  TempDir dir;
  DataFileBuilder b(16);
  b.Page(5).Set32(200, 0xCAFEBABE);
  auto o = OpenFile(b.WriteTo(dir.File("a.mdf")));
  ASSERT_TRUE(o->ok);
  struct Case {
    uint16_t file;
    uint32_t page;
    bool readable;
  } cases[] = {{1, 0, false},  {1, 5, true},  {1, 16, true},         {1, 17, false},
               {1, 0x80000000u, false}, {0, 5, false}, {3, 5, false}, {0xFFFF, 5, false}};
  for (const Case& c : cases) {
    auto page = o->db->ReadPage({c.file, c.page, 0});
    EXPECT_EQ(page.has_value(), c.readable) << c.file << ":" << c.page;
    if (page) {
      EXPECT_EQ(page->size(), 8193u);
      EXPECT_EQ(page->back(), 0);
    }
  }
  ByteBuffer five = *o->db->ReadPage({1, 5, 0});
  EXPECT_EQ(ByteReader(five).U32(200), 0xCAFEBABEu);
  ByteBuffer end = *o->db->ReadPage({1, 16, 0});
  EXPECT_EQ(std::count(end.begin(), end.end(), 0), 8193) << "the page at the page count is zeros";
  EXPECT_FALSE(o->db->LoadPageBytes({1, 0, 0}, false));
  EXPECT_TRUE(o->db->LoadPageBytes({1, 0, 0}, true));
  auto header = o->db->ReadPageHeader({1, 5, 0});
  ASSERT_TRUE(header);
  EXPECT_EQ(header->pageId, 5);
}

TEST(DatabaseFile, MapsPagesByObjectAndType) {
  TempDir dir;
  DataFileBuilder b(16);
  b.Page(3).Type(1).ObjectId(7);     // system object and data page
  b.Page(4).Type(10).ObjectId(500);  // IAM page of a user object
  b.Page(5).Type(1).ObjectId(500);
  b.Page(6).Type(1).ObjectId(-3);    // negative ids are not mapped
  b.Page(7).Type(2).ObjectId(500);   // index pages are not mapped
  auto o = OpenFile(b.WriteTo(dir.File("a.mdf")));
  ASSERT_TRUE(o->ok);
  const CDatabaseFile& db = *o->db;
  ASSERT_EQ(db.systemPages().at(7).size(), 1u);
  EXPECT_EQ(db.systemPages().at(7)[0].page, 3u);
  EXPECT_EQ(db.dataPages().at(7)[0].page, 3u);
  EXPECT_EQ(db.iamPages().at(500).size(), 1u);
  EXPECT_EQ(db.dataPages().at(500).size(), 1u);
  EXPECT_EQ(db.dataPages().at(500)[0].type, 1u);
  EXPECT_EQ(db.dataPages().count(-3), 0u);
  EXPECT_EQ(db.systemPages().count(99), 1u) << "the boot page belongs to object 99";
}

TEST(DatabaseFile, StopEndsTheLoopsAndIsCleared) {
  TempDir dir;
  std::string path = DataFileBuilder(64).WriteTo(dir.File("a.mdf"));
  Opened o;
  o.db = std::make_unique<CDatabaseFile>(o.state, o.sink);
  o.state.stop = true;
  EXPECT_FALSE(o.db->Open(path)) << "nothing was mapped";
  EXPECT_FALSE(o.state.stop.load());
}

TEST(DatabaseFile, BootPageIsFoundThroughTheShiftOfASystemPage) {
  TempDir dir;
  DataFileBuilder b(30);
  b.Boot(611, 53256);
  // The file starts two pages late: every header says its page id is two
  // more than its position, so the boot page (id 9) is at position 7.
  DataFileBuilder shifted(30);
  for (uint32_t i = 0; i + 2 < 30; ++i) {
    shifted.Page(i) = b.Page(i + 2);
  }
  shifted.Page(12).Type(1).ObjectId(7);
  auto o = OpenFile(shifted.WriteTo(dir.File("a.mdf")));
  ASSERT_TRUE(o->ok);
  o->state.collations = {{53256, {"Latin1_General_CI_AS", 1252}}};
  ASSERT_TRUE(o->db->ReadBootPage());
  EXPECT_EQ(o->state.version_name, " SQL Server 2005");
  EXPECT_EQ(o->state.collation_name, "Latin1_General_CI_AS");
}

TEST(DatabaseFile, SecondaryFilesFromTheFileListAndFromTheFolder) {
  TempDir dir;
  std::string primary = DataFileBuilder(16).WriteTo(dir.File("main.mdf"));
  DataFileBuilder extra(12);
  extra.Page(4).Type(1).ObjectId(600).PageId(4, 3);
  extra.Page(4).Set32(300, 0x12345678);
  extra.WriteTo(dir.File("Extra.ndf"));

  {
    auto o = OpenFile(primary);
    ASSERT_TRUE(o->ok);
    SecondaryFile row;
    row.file_id = 3;
    row.physical_path = "C:\\Program Files\\Data\\Extra.NDF";
    SecondaryFile log_row;
    log_row.file_id = 2;
    log_row.physical_path = "C:\\Data\\main_log.ldf";
    o->db->AddSecondaryFilesFromList({row, log_row});
    ASSERT_EQ(o->db->secondaryFiles().size(), 1u) << "the log row names no .ndf";
    EXPECT_EQ(o->db->secondaryFiles().at(3).physical_path, dir.File("Extra.ndf"));
    ASSERT_EQ(o->db->dataPages().at(600).size(), 1u);
    EXPECT_EQ(o->db->dataPages().at(600)[0].file_id, 3);
    auto page = o->db->ReadPage({3, 4, 0});
    ASSERT_TRUE(page);
    EXPECT_EQ(ByteReader(*page).U32(300), 0x12345678u);
    EXPECT_FALSE(o->db->ReadPage({3, 13, 0}));
  }
  {
    auto o = OpenFile(primary);
    ASSERT_TRUE(o->ok);
    auto found = o->db->FindSecondaryFilesInFolder();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].file_id, 3);
    EXPECT_TRUE(o->db->ReadPage({3, 4, 0}));
  }
}

TEST(DatabaseFile, PagesCanBeReadFromTwoThreadsAtOnce) {
  TempDir dir;
  DataFileBuilder b(200);
  for (uint32_t i = 11; i < 200; ++i) b.Page(i).Set32(1000, i * 7);
  auto o = OpenFile(b.WriteTo(dir.File("a.mdf")));
  ASSERT_TRUE(o->ok);
  std::atomic<int> wrong{0};
  auto reader = [&](uint32_t first) {
    for (int round = 0; round < 20; ++round)
      for (uint32_t i = first; i < 200; i += 2) {
        auto page = o->db->ReadPage({1, i, 0});
        if (!page || ByteReader(*page).U32(1000) != i * 7) ++wrong;
      }
  };
  std::thread t1(reader, 11), t2(reader, 12);
  t1.join();
  t2.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(DatabaseFile, CollapsesDoubledSeparators) {
  EXPECT_EQ(CollapseDoubledSeparators("C:\\\\a\\\\b.mdf"), "C:\\a\\b.mdf");
  EXPECT_EQ(CollapseDoubledSeparators("/x//y/z.mdf"), "/x/y/z.mdf");
  EXPECT_EQ(CollapseDoubledSeparators("plain"), "plain");
}

}  // namespace
}  // namespace tarnwick
