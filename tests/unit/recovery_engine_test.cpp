// The recovery engine and its session on a FAT32 volume built in memory: what is written where,
// byte for byte, with which times, and what Stop, Skip, bad sectors and the replace answers do.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>

#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "recovery/output_file.h"
#include "recovery/recovery_report.h"
#include "recovery_test_volume.h"
#include "session/recovery_run.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;
using namespace recovery_test;

constexpr std::uint16_t kDate = FatDate(2024, 1, 5);
constexpr std::uint16_t kTime = FatTime(13, 7, 22);
constexpr std::time_t kWhen = 1704460042;  // 2024-01-05 13:07:22 UTC

// The volume (1 KiB clusters, FAT local time taken as UTC):
//   README.TXT 300 B (cluster 3)   EMPTY.DAT 0 B   FRAG.BIN 3500 B (5, 9, 7, 8)
//   deleted _LDNOTE.TXT 77 B (20, free)   deleted _VERWRIT.TXT 2000 B (40-41, now NEWFILE.BIN's)
//   DOCS/ (50): NOTES.TXT 100 B (51), SUB/ (52): DEEP.TXT 2000 B (53-54)
//   PHOTOS/ (60): BIG.JPG 1 MiB (100-1123)
class RecoveryEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* tz = std::getenv("TZ");
    savedTz_ = tz ? new std::string(tz) : nullptr;
    test_support::SetEnvironment("TZ", "UTC");
  }
  static void TearDownTestSuite() {
    if (savedTz_)
      test_support::SetEnvironment("TZ", savedTz_->c_str());
    else
      test_support::UnsetEnvironment("TZ");
    delete savedTz_;
  }

  RecoveryEngineTest() : v(FsType::kFat32, 2, 1200) {
    std::vector<Entry> root;
    auto file = [&](const std::string& path, const std::string& eleven, std::size_t size,
                    const std::vector<std::uint32_t>& clusters, bool live, std::vector<Entry>* dir) {
      expected[path] = Pattern(size, static_cast<int>(expected.size()) + 1);
      v.PutFile(clusters, expected[path], live);
      if (dir)
        dir->push_back(ShortEntry(eleven, 0x20, clusters.empty() ? 0 : clusters[0],
                                  static_cast<std::uint32_t>(size), kDate, kTime));
    };
    file("README.TXT", "README  TXT", 300, {3}, true, &root);
    file("EMPTY.DAT", "EMPTY   DAT", 0, {}, true, &root);
    file("FRAG.BIN", "FRAG    BIN", 3500, {5, 9, 7, 8}, true, &root);
    file("_LDNOTE.TXT", "\xE5LDNOTE TXT", 77, {20}, false, &root);
    file("_VERWRIT.TXT", "\xE5VERWRITTXT", 2000, {40, 41}, false, &root);
    file("NEWFILE.BIN", "NEWFILE BIN", 1500, {40, 41}, true, &root);
    root.push_back(ShortEntry("DOCS", 0x10, 50));
    root.push_back(ShortEntry("PHOTOS", 0x10, 60));
    v.PutRoot(root);
    std::vector<Entry> docsDir = {ShortEntry("SUB", 0x10, 52)}, subDir, photosDir;
    file("DOCS/NOTES.TXT", "NOTES   TXT", 100, {51}, true, &docsDir);
    file("DOCS/SUB/DEEP.TXT", "DEEP    TXT", 2000, {53, 54}, true, &subDir);
    std::vector<std::uint32_t> big;
    for (std::uint32_t c = 100; c < 1124; ++c) big.push_back(c);
    file("PHOTOS/BIG.JPG", "BIG     JPG", 1 << 20, big, true, &photosDir);
    v.PutDirectory(50, 0, docsDir);
    v.PutDirectory(52, 50, subDir);
    v.PutDirectory(60, 0, photosDir);
    BindFatVolume(v.Ctx(), std::make_shared<FatReader>(v.Ctx()));
    root_ = v.Ctx().results.Tree().Root();
    docs = v.AddFolder(root_, "DOCS", 50, 0);
    v.AddFolder(docs, "SUB", 52, 50);
    photos = v.AddFolder(root_, "PHOTOS", 60, 0);
    options.destination = scratch.path / "out";
  }

  RecoveryRunOutcome Recover(const RecoverySelection& selection = {}) {
    return RecoveryRun(v.Ctx()).Run(selection, options);
  }
  void Tick(TreeItem item) { ToggleCheckBox(v.Ctx().results.Tree(), item); }
  static const PlannedFile* Planned(const RecoveryRunOutcome& o, const std::string& treePath) {
    for (const PlannedFile& f : o.plan.files) {
      if (f.treePath == treePath) return &f;
    }
    return nullptr;
  }
  fs::path Dest() const { return options.destination; }

  MemoryVolume v;
  TempFolder scratch;
  RecoveryOptions options;
  std::map<std::string, Bytes> expected;
  TreeItem root_ = kNoItem, docs = kNoItem, photos = kNoItem;
  static std::string* savedTz_;
};
std::string* RecoveryEngineTest::savedTz_ = nullptr;

// Seconds since 1970 of a file's or folder's modification time.
std::time_t ModifiedTime(const fs::path& path) {
  return std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(fs::last_write_time(path)));
}

TEST_F(RecoveryEngineTest, EveryFileIsWrittenByteForByteAtItsPlaceWithItsTime) {
  Tick(root_);
  const RecoveryRunOutcome o = Recover();
  ASSERT_FALSE(o.refused) << *o.refused;
  EXPECT_EQ(Listing(Dest()), (std::vector<std::string>{
                                 "DOCS/", "DOCS/NOTES.TXT", "DOCS/SUB/", "DOCS/SUB/DEEP.TXT", "EMPTY.DAT",
                                 "FRAG.BIN", "NEWFILE.BIN", "PHOTOS/", "PHOTOS/BIG.JPG", "README.TXT",
                                 "_LDNOTE.TXT", "_VERWRIT.TXT", std::string(kRecoveryReportName)}));
  for (const auto& [path, bytes] : expected) {
    // The overwritten file's clusters hold the newer file's bytes now.
    const Bytes& want = path == "_VERWRIT.TXT" ? expected["NEWFILE.BIN"] : bytes;
    const Bytes got = ReadFileBytes(Dest() / path);
    EXPECT_TRUE(
        std::equal(want.begin(), want.end(), got.begin(), got.begin() + std::min(got.size(), want.size())))
        << path;
    EXPECT_EQ(got.size(), bytes.size()) << path;
    EXPECT_EQ(ModifiedTime(Dest() / path), kWhen) << path;
  }
  EXPECT_EQ(ModifiedTime(Dest() / "DOCS"), 1646370368);  // the folder's own date: 2022-03-04 05:06:08
  EXPECT_EQ(o.plan.totalFiles, 9u);
  EXPECT_EQ(o.written.filesWritten, 9u);
  EXPECT_EQ(o.written.skipped + o.written.failed + o.written.unreadableSectors, 0u);
  EXPECT_EQ(Planned(o, "_LDNOTE.TXT")->estimate, Recoverability::kIntact);
  EXPECT_EQ(Planned(o, "_LDNOTE.TXT")->method, ReadMethod::kContiguous);
  EXPECT_EQ(Planned(o, "_VERWRIT.TXT")->estimate, Recoverability::kOverwritten);
  EXPECT_EQ(Planned(o, "PHOTOS/BIG.JPG")->method, ReadMethod::kChain);

  const auto report = ParseRecoveryReport(ReadText(o.written.report));
  ASSERT_TRUE(report.has_value());
  ASSERT_EQ(report->files.size(), 9u);
  const RecoveryReportFile* deep = nullptr;
  for (const RecoveryReportFile& f : report->files) deep = f.path == "DOCS/SUB/DEEP.TXT" ? &f : deep;
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(deep->status, "written");
  EXPECT_EQ(deep->writtenAs, "DOCS/SUB/DEEP.TXT");
  EXPECT_NE(
      ReadText(o.written.report).find("file\twritten\toverwritten\t2000\tcontiguous\t-\t_VERWRIT.TXT\t"),
      std::string::npos);
}

TEST_F(RecoveryEngineTest, UnreadableSectorIsZeroFilledCountedAndReported) {
  v.Device().MarkBad(v.ClusterSector(9));  // FRAG.BIN's bytes 1024-1535
  Tick(root_);
  const RecoveryRunOutcome o = Recover();
  Bytes want = expected["FRAG.BIN"];
  std::fill(want.begin() + 1024, want.begin() + 1536, std::uint8_t{0});
  EXPECT_EQ(ReadFileBytes(Dest() / "FRAG.BIN"), want);
  EXPECT_EQ(Planned(o, "FRAG.BIN")->status, FileStatus::kWrittenWithGaps);
  EXPECT_EQ(Planned(o, "FRAG.BIN")->unreadable, (std::vector<ByteRange>{{1024, 1536}}));
  EXPECT_EQ(o.written.unreadableSectors, 1u);
  EXPECT_EQ(o.written.filesWithGaps, 1u);
  const std::string report = ReadText(o.written.report);
  EXPECT_NE(
      report.find(
          "file\twritten, unreadable bytes zero-filled\t-\t3500\tchain\t1024-1535\tFRAG.BIN\tFRAG.BIN\n"),
      std::string::npos)
      << report;
  EXPECT_NE(report.find("unreadable sectors\t1\n"), std::string::npos);
}

// Presses Stop or Skip once BIG.JPG (two 512 KiB requests) is partly written.
class PressDuringBigFile : public Feedback {
 public:
  void SetText(int id, std::string_view text) override {
    if (id == recovery_control::kFileName) current = std::string(text);
  }
  void SetProgress(int id, int position, std::string_view) override {
    if (id == recovery_control::kFileProgress && current == "BIG.JPG" && position > 0 && press)
      std::exchange(press, {})();
  }
  std::string current;
  std::function<void()> press;
};

TEST_F(RecoveryEngineTest, StopOrSkipInsideAFileLeavesNothingOfIt) {
  Tick(root_);
  for (const bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "Stop" : "Skip");
    fs::remove_all(Dest());
    PressDuringBigFile ui;
    v.Ctx().SetFeedback(ui);
    RecoveryRun run(v.Ctx());
    ui.press = [&run, stop] { stop ? run.RequestStop() : run.RequestSkip(); };
    const RecoveryRunOutcome o = run.Run({}, options);
    EXPECT_EQ(o.written.stopped, stop);
    EXPECT_EQ(Planned(o, "PHOTOS/BIG.JPG")->status, stop ? FileStatus::kStopped : FileStatus::kSkippedByUser);
    for (const std::string& path : Listing(Dest())) {
      EXPECT_EQ(path.find("BIG"), std::string::npos) << path;
      EXPECT_EQ(path.find(".part"), std::string::npos) << path;
    }
    EXPECT_TRUE(fs::is_directory(Dest() / "PHOTOS"));
    EXPECT_EQ(o.written.filesWritten, 8u);  // BIG.JPG is the last file
    EXPECT_NE(ReadText(o.written.report).find("\t1048576\tchain\t-\tPHOTOS/BIG.JPG\t-\n"), std::string::npos);
  }
}

// Answers every question the same way, recording the paths asked about.
class ScriptedQuestion : public ReplaceQuestion {
 public:
  explicit ScriptedQuestion(ReplaceChoice choice) : choice_(choice) {}
  ReplaceChoice Ask(const std::string& existing) override {
    asked.push_back(existing);
    return choice_;
  }
  std::vector<std::string> asked;

 private:
  ReplaceChoice choice_;
};

TEST_F(RecoveryEngineTest, ReplaceAnswersDecideWhatHappensToFilesAlreadyThere) {
  // DOCS/NOTES.TXT, then README.TXT (chosen in the list) clash; DEEP.TXT does not.
  struct Case {
    ReplaceChoice choice;
    bool readmeReplaced, renamed;
    FileStatus status;
    std::size_t asked;
  };
  const std::vector<Case> cases = {
      {{ReplaceAnswer::kOverwrite, false}, true, false, FileStatus::kWritten, 2},
      {{ReplaceAnswer::kRename, false}, false, true, FileStatus::kWritten, 2},
      {{ReplaceAnswer::kSkip, false}, false, false, FileStatus::kSkippedExisting, 2},
      {{ReplaceAnswer::kSkip, true}, false, false, FileStatus::kSkippedExisting, 1},
      {{ReplaceAnswer::kCancel, false}, false, false, FileStatus::kCancelled, 1},
  };
  Tick(docs);
  RecoverySelection selection;
  selection.files.push_back({root_, FatFileRow("README.TXT", 300, kDate, kTime, 3, false, false)});
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.choice.answer) * 10 + c.choice.applyToAll);
    fs::remove_all(Dest());
    fs::create_directories(Dest() / "DOCS");
    std::ofstream(Dest() / "README.TXT") << "old";
    std::ofstream(Dest() / "DOCS" / "NOTES.TXT") << "old";
    ScriptedQuestion question(c.choice);
    options.replace = &question;
    const RecoveryRunOutcome o = Recover(selection);
    EXPECT_EQ(ReadText(Dest() / "README.TXT") == "old", !c.readmeReplaced);
    EXPECT_EQ(fs::exists(Dest() / "README (1).TXT"), c.renamed);
    EXPECT_EQ(fs::exists(Dest() / "DOCS/NOTES (1).TXT"), c.renamed);
    EXPECT_EQ(Planned(o, "README.TXT")->status, c.status);
    EXPECT_EQ(Planned(o, "DOCS/NOTES.TXT")->status, c.status);
    EXPECT_EQ(question.asked.size(), c.asked);
    EXPECT_EQ(question.asked.front(), Utf8FromPath(Dest() / "DOCS" / "NOTES.TXT"));
    EXPECT_EQ(o.written.cancelled, c.choice.answer == ReplaceAnswer::kCancel);
    EXPECT_EQ(fs::exists(Dest() / "DOCS/SUB/DEEP.TXT"), c.choice.answer != ReplaceAnswer::kCancel);
  }
  // The disk being read is never replaced, whatever the answer.
  fs::remove_all(Dest());
  fs::create_directories(Dest());
  std::ofstream(Dest() / "README.TXT") << "old";
  options.sourcePath = Utf8FromPath(Dest() / "README.TXT");
  FixedReplaceAnswer overwrite(ReplaceAnswer::kOverwrite);
  options.replace = &overwrite;
  Recover(selection);
  EXPECT_EQ(ReadText(Dest() / "README.TXT"), "old");
  EXPECT_EQ(ReadFileBytes(Dest() / "README (1).TXT"), expected["README.TXT"]);
}

TEST_F(RecoveryEngineTest, TicksAndChosenRowsDecideWhatIsWritten) {
  Tick(docs);  // the root is partly ticked: its own files stay behind, PHOTOS is not made
  RecoveryRunOutcome o = Recover();
  EXPECT_EQ(Listing(Dest()),
            (std::vector<std::string>{"DOCS/", "DOCS/NOTES.TXT", "DOCS/SUB/", "DOCS/SUB/DEEP.TXT",
                                      std::string(kRecoveryReportName)}));
  EXPECT_EQ(o.plan.totalBytes, 2100u);
  Tick(docs);
  fs::remove_all(Dest());
  RecoverySelection selection;
  selection.files.push_back({photos, FatFileRow("BIG.JPG", 1 << 20, kDate, kTime, 100, false, false)});
  o = Recover(selection);
  EXPECT_EQ(Listing(Dest()),
            (std::vector<std::string>{"PHOTOS/", "PHOTOS/BIG.JPG", std::string(kRecoveryReportName)}));
  EXPECT_EQ(ReadFileBytes(Dest() / "PHOTOS/BIG.JPG"), expected["PHOTOS/BIG.JPG"]);
}

TEST_F(RecoveryEngineTest, CountingAndWritingAreReportedThroughFeedback) {
  Tick(root_);
  test_support::RecordingFeedback ui;
  v.Ctx().SetFeedback(ui);
  Recover();
  EXPECT_TRUE(ui.HasText(recovery_control::kCounting, "Calculating Total Number of Files, Please Wait ..."));
  EXPECT_EQ(ui.lastText[recovery_control::kTotalFiles], "9");
  EXPECT_TRUE(ui.HasText(recovery_control::kFileName, "DEEP.TXT"));
  EXPECT_TRUE(ui.HasText(recovery_control::kFilePath, "DOCS\\SUB"));
  EXPECT_TRUE(ui.HasText(recovery_control::kTotals, "1 / 9 files, 0 / 1058053 bytes"));
  // Once every file is written the line says so, not where the last file began.
  EXPECT_EQ(ui.lastText[recovery_control::kTotals], "9 / 9 files, 1058053 / 1058053 bytes");
  const auto last = std::find_if(ui.progress.rbegin(), ui.progress.rend(), [](const auto& p) {
    return p.controlId == recovery_control::kTotalProgress;
  });
  ASSERT_NE(last, ui.progress.rend());
  EXPECT_EQ(last->position, 100);
  EXPECT_EQ(last->barText, "9 / 9");
}

TEST_F(RecoveryEngineTest, NothingIsWrittenWhenTheDestinationCannotBeMadeOrThereIsNoVolume) {
  Tick(root_);
  std::ofstream(scratch.path / "a file") << "x";
  options.destination = scratch.path / "a file" / "below";
  RecoveryRunOutcome o = Recover();
  ASSERT_TRUE(o.refused.has_value());
  EXPECT_NE(o.refused->find("cannot make the destination folder"), std::string::npos) << *o.refused;
  options.destination = scratch.path / "none";
  v.Ctx().activeGeometry.type = FsType::kNone;
  EXPECT_EQ(Recover().refused, "no volume to recover from: run a search first");
  EXPECT_FALSE(fs::exists(scratch.path / "none"));
}

// Names, trees and data that no FAT directory gives: rows and folders straight from the hooks,
// bytes from a source that hands back each row's own name.
class RowSource : public FileDataSource {
 public:
  FileData Locate(const DetailsRow& row) override {
    const std::string text = row.name + (row.deleted ? "/deleted" : "");
    FileData data;
    data.size = text.size();
    DataPiece piece;
    piece.kind = DataPiece::Kind::kBytes;
    piece.length = text.size();
    piece.bytes.assign(text.begin(), text.end());
    data.pieces.push_back(std::move(piece));
    return data;
  }
  Recoverability Estimate(const DetailsRow& row) override {
    return row.deleted ? Recoverability::kIntact : Recoverability::kNotDeleted;
  }
};

class RecoveryNamesTest : public ::testing::Test {
 protected:
  RecoveryNamesTest() {
    ctx.ResetForScan();
    ctx.results.volumeType = FsType::kFat32;
    ctx.results.hooks.listFiles = [this](DetailsList& list, std::uint32_t key, const auto&...) {
      for (const auto& [name, deleted] : files[key]) {
        DetailsRow row;
        row.name = name;
        row.size = std::to_string(name.size());
        row.deleted = deleted;
        list.rows.push_back(row);
      }
    };
    options.destination = scratch.path / "out";
    options.rules = NameRules{};
  }
  RecoveryPlan Run() {
    ToggleCheckBox(ctx.results.Tree(), ctx.results.Tree().Root());
    RecoveryPlan plan = PlanRecovery(ctx, {}, source, options);
    WriteRecovery(ctx, plan, source, options);
    return plan;
  }
  TreeItem Folder(TreeItem parent, const std::string& name, std::uint32_t self) {
    return InsertFolderNode(ctx.results, parent, name, self, 0, 0, 0, false);
  }
  fs::path Dest() const { return options.destination; }
  ScanContext ctx;
  RowSource source;
  TempFolder scratch;
  RecoveryOptions options;
  std::map<std::uint32_t, std::vector<std::pair<std::string, bool>>> files;
};

TEST_F(RecoveryNamesTest, NamesAreWrittenSafelyInsideTheDestinationAndUtf8AsItIs) {
  Folder(Folder(ctx.results.Tree().Root(), "..", 7), "a/b", 8);
  files[0] = {{"..", false},
              {".", false},
              {"a/b", false},
              {"ctl\x01\x1b[31m", false},
              {"", false},
              {"\xFF\xFEx", false},
              {"notes.txt", true},
              {"notes.txt", false},
              {"café au lait.txt", false},
              {"Привет, мир.txt", false},
              {"日本語のファイル名.txt", false}};
  files[7] = {{"../../escape.txt", false}};
  files[8] = {{"x", false}};
  Run();
  EXPECT_EQ(Listing(Dest()),
            (std::vector<std::string>{"_", "_ (1)", "__ (1)", "__/", "__/.._.._escape.txt", "__/a_b/",
                                      "__/a_b/x", "__x", "a_b", "café au lait.txt", "ctl__[31m",
                                      "notes (1).txt", "notes.txt", std::string(kRecoveryReportName),
                                      "Привет, мир.txt", "日本語のファイル名.txt"}));
  EXPECT_EQ(Listing(scratch.path).size(), Listing(Dest()).size() + 1);  // nothing beside the destination
  EXPECT_EQ(ReadText(Dest() / "__/.._.._escape.txt"), "../../escape.txt");
  // The live file keeps the name it shares with a deleted one, whatever their order.
  EXPECT_EQ(ReadText(Dest() / "notes.txt"), "notes.txt");
  EXPECT_EQ(ReadText(Dest() / "notes (1).txt"), "notes.txt/deleted");
  EXPECT_EQ(ReadText(Dest() / PathFromUtf8("Привет, мир.txt")), "Привет, мир.txt");
}

// Names the destination system refuses or reads as a device are written under the names of that
// system's rules, each file whole: on Windows "CON" would be the console and "a:b" a stream of a.
TEST_F(RecoveryNamesTest, NamesTheDestinationRefusesAreWrittenUnderSafeNames) {
  options.rules = DestinationNameRules();
  const std::vector<std::pair<std::string, std::string>> names = {
      // name on the disk, name written on Windows
      {"CON", "_CON"},
      {"nul.txt", "_nul.txt"},
      {"com1.log", "_com1.log"},
      {"LPT9", "_LPT9"},
      {"a:b?.txt", "a_b_.txt"},
      {"end. ", "end__"},
      {"q\"<|>*", "q_____"},
  };
  files[0].clear();
  for (const auto& [name, windows] : names) files[0].push_back({name, false});
  const RecoveryPlan plan = Run();
  ASSERT_EQ(plan.files.size(), names.size());
  for (const auto& [name, windows] : names) {
    SCOPED_TRACE(name);
    const PlannedFile* f = nullptr;
    for (const PlannedFile& p : plan.files) f = p.row.name == name ? &p : f;
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->status, FileStatus::kWritten);
    const std::string expected = options.rules.windows ? windows : name;
    EXPECT_EQ(f->writtenAs, expected);
    EXPECT_EQ(ReadText(Dest() / PathFromUtf8(expected)), name);
  }
}

// Descriptor limits, long paths walked with chdir and symbolic links are the POSIX writer's
// concerns; the Windows writer names folders by path and never enters a reparse point.
#ifndef _WIN32
// Two chains of folders with a file in every one: 200 with long names (far past PATH_MAX from the
// destination down) and 600 with short ones (more than the process may hold open). Every file is
// written where it belongs and every folder gets its time, the shallow ones included (their
// descriptors were closed on the way down and opened again on the way up), with no more than 256
// descriptors to hold.
TEST_F(RecoveryNamesTest, DeepTreesAreWrittenWholeAndRepeatedFoldersOnce) {
  struct Chain {
    int depth;
    std::string name;
    std::uint32_t firstKey;
  };
  const std::vector<Chain> chains = {{200, std::string(120, 'd'), 1000}, {600, "e", 10000}};
  const std::uint16_t date = 0x5825, time = 0x6000;  // 2024-01-05 12:00:00
  files[0] = {{"top", false}};
  std::size_t expected = 2;  // top, and f once for "one" and "again"
  for (const Chain& c : chains) {
    TreeItem item = ctx.results.Tree().Root();
    for (int depth = 1; depth <= c.depth; ++depth) {
      const std::uint32_t key = c.firstKey + static_cast<std::uint32_t>(depth);
      item = InsertFolderNode(ctx.results, item, c.name, key, date, time, 0, false);
      files[key] = {{"f" + std::to_string(depth), false}};
    }
    expected += static_cast<std::size_t>(c.depth);
  }
  // Two folders of the tree naming one directory: its files are written once.
  Folder(ctx.results.Tree().Root(), "one", 50);
  Folder(ctx.results.Tree().Root(), "again", 50);
  files[50] = {{"f", false}};
  // Few descriptors, as a tight ulimit -n gives: the writer holds a bounded number of folders open.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const RecoveryPlan plan = Run();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  std::size_t written = 0;
  for (const PlannedFile& f : plan.files) written += f.status == FileStatus::kWritten;
  EXPECT_EQ(written, expected) << "of " << plan.files.size();
  ASSERT_EQ(plan.notes.size(), 1u);
  EXPECT_EQ(plan.notes[0], "again: the same directory as one, its files are recovered there");
  EXPECT_TRUE(fs::exists(Dest() / "one/f"));
  EXPECT_FALSE(fs::exists(Dest() / "again/f"));
  EXPECT_EQ(ReadText(Dest() / "top"), "top");

  // Walked down one folder at a time, as a path that long cannot be opened whole.
  const std::optional<std::time_t> when = FatEntryTime(date, time);
  ASSERT_TRUE(when.has_value());
  const fs::path cwd = fs::current_path();
  for (const Chain& c : chains) {
    SCOPED_TRACE(c.depth);
    ASSERT_EQ(::chdir(Dest().c_str()), 0);
    int deepest = 0, wrongTimes = 0, wrongFiles = 0;
    for (int depth = 1; depth <= c.depth; ++depth) {
      struct stat st {};
      if (::lstat(c.name.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) break;
      wrongTimes += st.st_mtime != *when;
      if (::chdir(c.name.c_str()) != 0) break;
      deepest = depth;
      wrongFiles += ReadText(fs::path("f" + std::to_string(depth))) != "f" + std::to_string(depth);
    }
    EXPECT_EQ(deepest, c.depth);
    EXPECT_EQ(wrongTimes, 0);
    EXPECT_EQ(wrongFiles, 0);
  }
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

// Someone swaps a folder for a link to a folder outside the destination right after the writer
// made it (the seam plays them, deterministically): the files that were to go in it, and in the
// folders below it, fail; nothing appears outside the destination; the rest is written.
TEST_F(RecoveryNamesTest, AFolderSwappedForALinkWhileWritingSendsNothingOutside) {
  const TreeItem a = Folder(ctx.results.Tree().Root(), "a", 10);
  const TreeItem b = Folder(a, "b", 11);
  Folder(b, "c", 12);
  Folder(ctx.results.Tree().Root(), "z", 13);
  files[0] = {{"root.txt", false}};
  files[10] = {{"a1.txt", false}, {"a2.txt", false}};
  files[11] = {{"b1.txt", false}};
  files[12] = {{"c1.txt", false}};
  files[13] = {{"z1.txt", false}};
  struct Case {
    std::string swapped;           // below the destination
    std::set<std::string> failed;  // tree paths
  };
  const std::vector<Case> cases = {
      {"a", {"a/a1.txt", "a/a2.txt", "a/b/b1.txt", "a/b/c/c1.txt"}},
      {"a/b", {"a/b/b1.txt", "a/b/c/c1.txt"}},
      {"a/b/c", {"a/b/c/c1.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.swapped);
    const fs::path outside = scratch.path / "outside";
    fs::remove_all(Dest());
    fs::remove_all(outside);
    fs::create_directories(outside);
    options.folderMade = [&](const fs::path& made) {
      if (made != Dest() / c.swapped) return;
      fs::remove(made);  // just made: empty
      fs::create_directory_symlink(outside, made);
    };
    const RecoveryPlan plan = Run();
    options.folderMade = nullptr;
    ToggleCheckBox(ctx.results.Tree(), ctx.results.Tree().Root());  // Run ticks it again
    EXPECT_TRUE(fs::is_empty(outside)) << Listing(outside).front();
    std::set<std::string> failed;
    for (const PlannedFile& f : plan.files) {
      if (f.status == FileStatus::kFailed) {
        failed.insert(f.treePath);
      } else {
        EXPECT_EQ(f.status, FileStatus::kWritten) << f.treePath;
        EXPECT_EQ(ReadText(Dest() / f.writtenAs), f.row.name) << f.treePath;
      }
    }
    EXPECT_EQ(failed, c.failed);
    EXPECT_TRUE(fs::is_symlink(Dest() / c.swapped));
  }
}

#endif  // _WIN32

}  // namespace
}  // namespace quarrow
