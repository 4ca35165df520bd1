// The recovery engine and its session on a FAT32 volume built in memory: what is written where,
// byte for byte, with which times, and what Stop, Skip, bad sectors and the replace answers do.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>
#include <set>

#include "recovery/output_file.h"
#include "recovery/recovery_report.h"
#include "recovery_test_volume.h"
#include "session/recovery_run.h"

namespace quarrow {
namespace {

namespace fs = std::filesystem;
using namespace recovery_test;
using Bytes = std::vector<std::uint8_t>;

std::string ReadText(const fs::path& path) {
  const Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The volume every test starts from (1 KiB clusters):
//   README.TXT 300 B (cluster 3)          EMPTY.DAT 0 B             "Report 13.doc" 1024 B (4)
//   FRAG.BIN 3500 B (5, 9, 7, 8)          deleted _LDNOTE.TXT 77 B (20, free)
//   deleted "a deleted long name.txt" 5000 B (30-34, free)
//   deleted _VERWRIT.TXT 2000 B (40-41), whose clusters NEWFILE.BIN now holds
//   DOCS/ (50): NOTES.TXT 100 B (51), SUB/ (52): DEEP.TXT 2000 B (53-54)
//   PHOTOS/ (60): BIG.JPG 1 MiB (100-1123)
class RecoveryEngineTest : public ::testing::Test {
 protected:
  static constexpr std::uint16_t kDate = FatDate(2024, 1, 5);
  static constexpr std::uint16_t kTime = FatTime(13, 7, 22);

  RecoveryEngineTest() : v(FsType::kFat32, 2, 1200) {
    File("README.TXT", 300, {3}, false);
    File("EMPTY.DAT", 0, {}, false);
    File("Report 13.doc", 1024, {4}, false, "REPORT~1DOC");
    File("FRAG.BIN", 3500, {5, 9, 7, 8}, false);
    File("_LDNOTE.TXT", 77, {20}, true);
    File("a deleted long name.txt", 5000, {30, 31, 32, 33, 34}, true, "ADELET~1TXT");
    File("_VERWRIT.TXT", 2000, {40, 41}, true);
    File("NEWFILE.BIN", 1500, {40, 41}, false);
    std::vector<Entry> root = rootEntries_;
    root.push_back(ShortEntry("DOCS", 0x10, 50));
    root.push_back(ShortEntry("PHOTOS", 0x10, 60));
    v.PutRoot(root);
    v.PutDirectory(50, 0, {ShortEntry("NOTES   TXT", 0x20, 51, 100, kDate, kTime), ShortEntry("SUB", 0x10, 52)});
    Put("DOCS/NOTES.TXT", 100, {51}, true);
    v.PutDirectory(52, 50, {ShortEntry("DEEP    TXT", 0x20, 53, 2000, kDate, kTime)});
    Put("DOCS/SUB/DEEP.TXT", 2000, {53, 54}, true);
    std::vector<std::uint32_t> big;
    for (std::uint32_t c = 100; c < 1124; ++c) big.push_back(c);
    v.PutDirectory(60, 0, {ShortEntry("BIG     JPG", 0x20, 100, 1 << 20, kDate, kTime)});
    Put("PHOTOS/BIG.JPG", 1 << 20, big, true);
    v.BindTree();
    docs = v.AddFolder(v.Root(), "DOCS", 50, 0);
    sub = v.AddFolder(docs, "SUB", 52, 50);
    photos = v.AddFolder(v.Root(), "PHOTOS", 60, 0);
    options.destination = out.Path() / "out";
  }

  // A file of the root: its entry (with a long name when given an 8.3 form) and its data.
  void File(const std::string& name, std::size_t size, const std::vector<std::uint32_t>& clusters, bool deleted,
            const std::string& shortForm = "") {
    std::string eleven = shortForm;
    if (eleven.empty()) {
      const std::size_t dot = name.find('.');
      eleven = name.substr(0, dot);
      eleven.resize(8, ' ');
      eleven += dot == std::string::npos ? "   " : name.substr(dot + 1);
    }
    if (deleted) eleven[0] = '\xE5';
    Entry e = ShortEntry(eleven, 0x20, clusters.empty() ? 0 : clusters[0], static_cast<std::uint32_t>(size), kDate, kTime);
    if (shortForm.empty()) {
      rootEntries_.push_back(e);
    } else {
      std::vector<Entry> named = NamedEntries(name, e);
      if (deleted) {
        for (Entry& part : named) part[0] = static_cast<std::uint8_t>(part[11] == 0x0F ? 0xE5 : part[0]);
        named.back()[0] = 0xE5;
      }
      rootEntries_.insert(rootEntries_.end(), named.begin(), named.end());
    }
    // Overwritten data is what the newer file wrote over it.
    Put(name, size, clusters, !deleted);
  }
  void Put(const std::string& path, std::size_t size, const std::vector<std::uint32_t>& clusters, bool live) {
    Bytes bytes = Pattern(size, static_cast<int>(expected.size()) + 1);
    v.PutFile(clusters, bytes, live);
    expected[path] = bytes;
  }

  RecoveryRunOutcome Recover(const RecoverySelection& selection = {}) {
    RecoveryRun run(v.Ctx());
    return run.Run(selection, options);
  }
  void TickAll() { ToggleCheckBox(v.Ctx().results.Tree(), v.Root()); }
  const PlannedFile* Planned(const RecoveryRunOutcome& o, const std::string& treePath) {
    for (const PlannedFile& f : o.plan.files) {
      if (f.treePath == treePath) return &f;
    }
    return nullptr;
  }
  fs::path Dest() const { return options.destination; }

  MemoryVolume v;
  TempFolder out;
  RecoveryOptions options;
  std::map<std::string, Bytes> expected;
  TreeItem docs = kNoItem, sub = kNoItem, photos = kNoItem;

 private:
  std::vector<Entry> rootEntries_;
};

TEST_F(RecoveryEngineTest, EveryFileIsWrittenByteForByteAtItsPlaceInTheTree) {
  TickAll();
  const RecoveryRunOutcome o = Recover();
  ASSERT_FALSE(o.refused) << *o.refused;
  EXPECT_EQ(Listing(Dest()),
            (std::vector<std::string>{"DOCS/", "DOCS/NOTES.TXT", "DOCS/SUB/", "DOCS/SUB/DEEP.TXT", "EMPTY.DAT",
                                      "FRAG.BIN", "NEWFILE.BIN", "PHOTOS/", "PHOTOS/BIG.JPG", "README.TXT",
                                      "Report 13.doc", "_LDNOTE.TXT", "_VERWRIT.TXT", "a deleted long name.txt",
                                      std::string(kRecoveryReportName)}));
  for (const auto& [path, bytes] : expected) {
    if (path == "_VERWRIT.TXT") continue;  // its clusters hold NEWFILE.BIN now
    EXPECT_EQ(ReadFileBytes(Dest() / path), bytes) << path;
  }
  // Overwritten as estimated: what is read from its clusters is the newer file's start.
  const Bytes overwritten = ReadFileBytes(Dest() / "_VERWRIT.TXT");
  ASSERT_EQ(overwritten.size(), 2000u);
  EXPECT_TRUE(std::equal(expected["NEWFILE.BIN"].begin(), expected["NEWFILE.BIN"].end(), overwritten.begin()));

  EXPECT_EQ(o.plan.totalFiles, 11u);
  EXPECT_EQ(o.written.filesWritten, 11u);
  EXPECT_EQ(o.written.skipped + o.written.failed + o.written.unreadableSectors, 0u);
  EXPECT_EQ(Planned(o, "_LDNOTE.TXT")->estimate, Recoverability::kIntact);
  EXPECT_EQ(Planned(o, "_LDNOTE.TXT")->method, ReadMethod::kContiguous);
  EXPECT_EQ(Planned(o, "_VERWRIT.TXT")->estimate, Recoverability::kOverwritten);
  for (const char* live : {"FRAG.BIN", "DOCS/SUB/DEEP.TXT", "PHOTOS/BIG.JPG"}) {
    EXPECT_EQ(Planned(o, live)->method, ReadMethod::kChain) << live;
  }
  EXPECT_EQ(Planned(o, "README.TXT")->estimate, Recoverability::kNotDeleted);

  // The report names every file with its status, estimate and place.
  const auto report = ParseRecoveryReport(ReadText(o.written.report));
  ASSERT_TRUE(report.has_value());
  ASSERT_EQ(report->files.size(), 11u);
  std::map<std::string, RecoveryReportFile> byPath;
  for (const RecoveryReportFile& f : report->files) byPath[f.path] = f;
  EXPECT_EQ(byPath["a deleted long name.txt"].estimate, "intact");
  EXPECT_EQ(byPath["a deleted long name.txt"].read, "contiguous");
  EXPECT_EQ(byPath["_VERWRIT.TXT"].estimate, "overwritten");
  EXPECT_EQ(byPath["DOCS/SUB/DEEP.TXT"].writtenAs, "DOCS/SUB/DEEP.TXT");
  EXPECT_EQ(byPath["DOCS/SUB/DEEP.TXT"].status, "written");
  EXPECT_EQ(byPath["PHOTOS/BIG.JPG"].size, 1u << 20);
}

TEST_F(RecoveryEngineTest, FilesAndFoldersCarryTheirEntriesDateAndTime) {
  const char* saved = std::getenv("TZ");
  const std::string savedTz = saved ? saved : "";
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  TickAll();
  ASSERT_FALSE(Recover().refused);
  struct stat st {};
  ASSERT_EQ(::stat((Dest() / "README.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1704460042);  // 2024-01-05 13:07:22, to the even second the entry keeps
  ASSERT_EQ(::stat((Dest() / "DOCS/SUB/DEEP.TXT").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1704460042);
  ASSERT_EQ(::stat((Dest() / "DOCS").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1646370368);  // the folder's own entry: 2022-03-04 05:06:08
  if (saved) {
    ::setenv("TZ", savedTz.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST_F(RecoveryEngineTest, UnreadableSectorIsZeroFilledCountedAndReported) {
  // FRAG.BIN's second cluster is 9: file bytes 1024-2047, of which the first sector fails.
  v.Device().MarkBad(v.ClusterSector(9));
  TickAll();
  const RecoveryRunOutcome o = Recover();
  Bytes want = expected["FRAG.BIN"];
  std::fill(want.begin() + 1024, want.begin() + 1536, std::uint8_t{0});
  EXPECT_EQ(ReadFileBytes(Dest() / "FRAG.BIN"), want);
  const PlannedFile* frag = Planned(o, "FRAG.BIN");
  EXPECT_EQ(frag->status, FileStatus::kWrittenWithGaps);
  EXPECT_EQ(frag->unreadable, (std::vector<ByteRange>{{1024, 1536}}));
  EXPECT_EQ(o.written.unreadableSectors, 1u);
  EXPECT_EQ(o.written.filesWithGaps, 1u);
  const std::string report = ReadText(o.written.report);
  EXPECT_NE(report.find("file\twritten, unreadable bytes zero-filled\t-\t3500\tchain\t1024-1535\tFRAG.BIN\tFRAG.BIN\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("unreadable sectors\t1\n"), std::string::npos);
}

// A Feedback that presses Stop or Skip once BIG.JPG is partly written.
class PressDuringBigFile : public Feedback {
 public:
  std::function<void()> press;
  void SetText(int id, std::string_view text) override {
    if (id == recovery_control::kFileName) current = std::string(text);
  }
  void SetProgress(int id, int position, std::string_view) override {
    if (id == recovery_control::kFileProgress && current == "BIG.JPG" && position > 0 && press) {
      press();
      press = nullptr;
    }
  }
  std::string current;
};

TEST_F(RecoveryEngineTest, StopInsideAFileLeavesNoPartOfItUnderAnyName) {
  TickAll();
  PressDuringBigFile ui;
  v.Ctx().SetFeedback(ui);
  RecoveryRun run(v.Ctx());
  ui.press = [&run] { run.RequestStop(); };
  const RecoveryRunOutcome o = run.Run({}, options);
  EXPECT_TRUE(o.written.stopped);
  EXPECT_EQ(Planned(o, "PHOTOS/BIG.JPG")->status, FileStatus::kStopped);
  for (const std::string& path : Listing(Dest())) {
    EXPECT_EQ(path.find("BIG"), std::string::npos) << path;
    EXPECT_EQ(path.find(".part"), std::string::npos) << path;
  }
  // Written before the stop: whole. After it: not written, and said so.
  for (const PlannedFile& f : o.plan.files) {
    if (f.status == FileStatus::kWritten && f.treePath != "_VERWRIT.TXT") {
      EXPECT_EQ(ReadFileBytes(Dest() / f.writtenAs), expected[f.treePath]);
    } else if (f.status != FileStatus::kWritten) {
      EXPECT_EQ(f.status, FileStatus::kStopped) << f.treePath;
    }
  }
  const std::string report = ReadText(o.written.report);
  EXPECT_NE(report.find("file\tnot written: stopped\t-\t1048576\tchain\t-\tPHOTOS/BIG.JPG\t-\n"), std::string::npos)
      << report;
}

TEST_F(RecoveryEngineTest, SkipInsideAFileDropsOnlyThatFile) {
  TickAll();
  PressDuringBigFile ui;
  v.Ctx().SetFeedback(ui);
  RecoveryRun run(v.Ctx());
  ui.press = [&run] { run.RequestSkip(); };
  const RecoveryRunOutcome o = run.Run({}, options);
  EXPECT_FALSE(o.written.stopped);
  EXPECT_EQ(Planned(o, "PHOTOS/BIG.JPG")->status, FileStatus::kSkippedByUser);
  EXPECT_FALSE(fs::exists(Dest() / "PHOTOS/BIG.JPG"));
  EXPECT_TRUE(fs::is_directory(Dest() / "PHOTOS"));
  EXPECT_EQ(o.written.filesWritten, 10u);
  EXPECT_EQ(o.written.skipped, 1u);
}

// Answers from a list, recording the paths asked about.
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
  struct Case {
    ReplaceChoice choice;
    std::string readme;        // what README.TXT holds afterwards ("new" for the recovered bytes)
    bool renamed;              // the recovered file is "README (1).TXT"
    FileStatus status;         // of README.TXT
    std::size_t asked;         // questions for the two clashes
    FileStatus notesStatus;    // of DOCS/NOTES.TXT, the second clash
  };
  const std::vector<Case> cases = {
      {{ReplaceAnswer::kOverwrite, false}, "new", false, FileStatus::kWritten, 2, FileStatus::kWritten},
      {{ReplaceAnswer::kRename, false}, "old", true, FileStatus::kWritten, 2, FileStatus::kWritten},
      {{ReplaceAnswer::kSkip, false}, "old", false, FileStatus::kSkippedExisting, 2, FileStatus::kSkippedExisting},
      {{ReplaceAnswer::kSkip, true}, "old", false, FileStatus::kSkippedExisting, 1, FileStatus::kSkippedExisting},
      {{ReplaceAnswer::kCancel, false}, "old", false, FileStatus::kCancelled, 1, FileStatus::kCancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.choice.answer) * 10 + c.choice.applyToAll);
    fs::remove_all(Dest());
    fs::create_directories(Dest() / "DOCS");
    std::ofstream(Dest() / "README.TXT") << "old";
    std::ofstream(Dest() / "DOCS" / "NOTES.TXT") << "old";
    ScriptedQuestion question(c.choice);
    options.replace = &question;
    v.Ctx().results.Tree().SetState(v.Root(), check_state::kUnchecked);
    ToggleCheckBox(v.Ctx().results.Tree(), docs);  // DOCS is recovered after the root's files
    RecoverySelection selection;
    selection.files.push_back({v.Root(), FatFileRow("README.TXT", 300, kDate, kTime, 3, false, false)});
    const RecoveryRunOutcome o = Recover(selection);
    ToggleCheckBox(v.Ctx().results.Tree(), docs);
    const Bytes readme = ReadFileBytes(Dest() / "README.TXT");
    const Bytes old = {'o', 'l', 'd'};
    EXPECT_EQ(readme, c.readme == "new" ? expected["README.TXT"] : old);
    EXPECT_EQ(fs::exists(Dest() / "README (1).TXT"), c.renamed);
    if (c.renamed) {
      EXPECT_EQ(ReadFileBytes(Dest() / "README (1).TXT"), expected["README.TXT"]);
    }
    EXPECT_EQ(Planned(o, "README.TXT")->status, c.status);
    EXPECT_EQ(Planned(o, "DOCS/NOTES.TXT")->status, c.notesStatus);
    EXPECT_EQ(question.asked.size(), c.asked);
    EXPECT_NE(std::find(question.asked.begin(), question.asked.end(), Utf8FromPath(Dest() / "DOCS/NOTES.TXT")),
              question.asked.end());
    EXPECT_EQ(o.written.cancelled, c.choice.answer == ReplaceAnswer::kCancel);
    // Files that clash with nothing are written whatever the answer, unless Cancel came first.
    EXPECT_EQ(fs::exists(Dest() / "DOCS/SUB/DEEP.TXT"), c.choice.answer != ReplaceAnswer::kCancel);
  }
}

TEST_F(RecoveryEngineTest, TheDiskBeingReadIsNeverReplaced) {
  TickAll();
  fs::create_directories(Dest());
  std::ofstream(Dest() / "README.TXT") << "the image";
  options.sourcePath = Utf8FromPath(Dest() / "README.TXT");
  FixedReplaceAnswer overwrite(ReplaceAnswer::kOverwrite);
  options.replace = &overwrite;
  ASSERT_FALSE(Recover().refused);
  EXPECT_EQ(ReadFileBytes(Dest() / "README.TXT"), (Bytes{'t', 'h', 'e', ' ', 'i', 'm', 'a', 'g', 'e'}));
  EXPECT_EQ(ReadFileBytes(Dest() / "README (1).TXT"), expected["README.TXT"]);
  EXPECT_EQ(ReadFileBytes(Dest() / "FRAG.BIN"), expected["FRAG.BIN"]);
}

TEST_F(RecoveryEngineTest, TicksDecideWhichFoldersAndFilesAreWritten) {
  // DOCS ticked: the root is only partly ticked, so its own files stay behind and PHOTOS is not made.
  ToggleCheckBox(v.Ctx().results.Tree(), docs);
  ASSERT_EQ(v.Ctx().results.Tree().State(v.Root()), check_state::kPartial);
  RecoveryRunOutcome o = Recover();
  EXPECT_EQ(Listing(Dest()), (std::vector<std::string>{"DOCS/", "DOCS/NOTES.TXT", "DOCS/SUB/", "DOCS/SUB/DEEP.TXT",
                                                       std::string(kRecoveryReportName)}));
  EXPECT_EQ(o.plan.totalFiles, 2u);
  EXPECT_EQ(o.plan.totalBytes, 2100u);

  // Nothing ticked, one row chosen in the list of PHOTOS.
  ToggleCheckBox(v.Ctx().results.Tree(), docs);
  fs::remove_all(Dest());
  RecoverySelection selection;
  selection.files.push_back({photos, FatFileRow("BIG.JPG", 1 << 20, kDate, kTime, 100, false, false)});
  o = Recover(selection);
  EXPECT_EQ(Listing(Dest()),
            (std::vector<std::string>{"PHOTOS/", "PHOTOS/BIG.JPG", std::string(kRecoveryReportName)}));
  EXPECT_EQ(ReadFileBytes(Dest() / "PHOTOS/BIG.JPG"), expected["PHOTOS/BIG.JPG"]);
}

TEST_F(RecoveryEngineTest, DeletedOnlyAndSkipOverwrittenLeaveOutWhatTheyName) {
  TickAll();
  options.deletedOnly = true;
  options.skipOverwritten = true;
  const RecoveryRunOutcome o = Recover();
  EXPECT_EQ(Listing(Dest()), (std::vector<std::string>{"_LDNOTE.TXT", "a deleted long name.txt",
                                                       std::string(kRecoveryReportName)}));
  EXPECT_EQ(Planned(o, "_VERWRIT.TXT")->status, FileStatus::kSkippedOverwritten);
  EXPECT_EQ(Planned(o, "README.TXT"), nullptr);
  EXPECT_EQ(o.plan.totalFiles, 2u);
  EXPECT_EQ(o.written.skipped, 1u);
}

TEST_F(RecoveryEngineTest, CountingAndWritingAreReportedThroughFeedback) {
  TickAll();
  test_support::RecordingFeedback ui;
  v.Ctx().SetFeedback(ui);
  Recover();
  EXPECT_TRUE(ui.HasText(recovery_control::kCounting, "Calculating Total Number of Files, Please Wait ..."));
  EXPECT_EQ(ui.lastText[recovery_control::kTotalFiles], "11");
  EXPECT_TRUE(ui.HasText(recovery_control::kFileName, "DEEP.TXT"));
  EXPECT_TRUE(ui.HasText(recovery_control::kFilePath, "DOCS\\SUB"));
  EXPECT_TRUE(ui.HasText(recovery_control::kTotals, "1 / 11 files, 0 / 1064077 bytes"));
  ASSERT_FALSE(ui.progress.empty());
  const auto last = std::find_if(ui.progress.rbegin(), ui.progress.rend(), [](const auto& p) {
    return p.controlId == recovery_control::kTotalProgress;
  });
  ASSERT_NE(last, ui.progress.rend());
  EXPECT_EQ(last->position, 100);
  EXPECT_EQ(last->barText, "11 / 11");
}

TEST_F(RecoveryEngineTest, RefusedWithoutWritingWhenTheDestinationCannotBeMadeOrTheVolumeIsNotFat) {
  TickAll();
  std::ofstream(out.Path() / "a file") << "x";
  options.destination = out.Path() / "a file" / "below";
  RecoveryRunOutcome o = Recover();
  ASSERT_TRUE(o.refused.has_value());
  EXPECT_NE(o.refused->find("cannot make the destination folder"), std::string::npos) << *o.refused;

  options.destination = out.Path() / "ntfs";
  v.Ctx().activeGeometry.type = FsType::kNtfs;
  o = Recover();
  ASSERT_TRUE(o.refused.has_value());
  EXPECT_EQ(*o.refused, "recovering files from NTFS volumes is not built yet");
  EXPECT_FALSE(fs::exists(out.Path() / "ntfs"));
}

TEST_F(RecoveryEngineTest, EstimatesReachTheFileListOnceBound) {
  DetailsList list;
  AddFolderContents(v.Ctx().results, list, v.Root(), {});
  auto estimateOf = [&list](const std::string& name) {
    for (const DetailsRow& r : list.rows) {
      if (r.name == name) return r.estimate;
    }
    return std::string("(not listed)");
  };
  EXPECT_EQ(estimateOf("_LDNOTE.TXT"), "");
  ShowRecoverabilityEstimates(v.Ctx());
  list.Clear();
  AddFolderContents(v.Ctx().results, list, v.Root(), {});
  EXPECT_EQ(estimateOf("_LDNOTE.TXT"), "intact");
  EXPECT_EQ(estimateOf("a deleted long name.txt"), "intact");
  EXPECT_EQ(estimateOf("_VERWRIT.TXT"), "overwritten");
  EXPECT_EQ(estimateOf("README.TXT"), "");
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
    piece.bytes.assign(text.begin(), text.end());
    piece.length = piece.bytes.size();
    data.pieces.push_back(piece);
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
    options.destination = out.Path() / "out";
  }
  fs::path Dest() const { return options.destination; }
  RecoveryPlan Run() {
    ToggleCheckBox(ctx.results.Tree(), ctx.results.Tree().Root());
    RecoveryPlan plan = PlanRecovery(ctx, {}, source, options);
    last = WriteRecovery(ctx, plan, source, options);
    return plan;
  }
  ScanContext ctx;
  RowSource source;
  TempFolder out;
  RecoveryOptions options;
  RecoveryOutcome last;
  std::map<std::uint32_t, std::vector<std::pair<std::string, bool>>> files;
};

TEST_F(RecoveryNamesTest, HostileNamesAreWrittenSafelyInsideTheDestination) {
  const TreeItem up = InsertFolderNode(ctx.results, ctx.results.Tree().Root(), "..", 7, 0, 0, 0, false);
  InsertFolderNode(ctx.results, up, "a/b", 8, 0, 0, 7, false);
  files[0] = {{"..", false}, {".", false}, {"a/b", false}, {"ctl\x01\x1b[31m", false}, {"", false},
              {std::string("nul\0in", 6), false}, {std::string("\xFF\xFEnot utf8", 10), false}};
  files[7] = {{"../../escape.txt", false}};
  files[8] = {{"x", false}};
  options.rules = NameRules{};
  Run();
  EXPECT_EQ(Listing(Dest()), (std::vector<std::string>{"_", "_ (1)", "__ (1)", "__/", "__/.._.._escape.txt", "__/a_b/",
                                                       "__/a_b/x", "__not utf8", "a_b", "ctl__[31m", "nul_in",
                                                       std::string(kRecoveryReportName)}));
  // Nothing was written next to the destination.
  EXPECT_EQ(Listing(out.Path()).size(), Listing(Dest()).size() + 1);
  EXPECT_EQ(ReadFileBytes(Dest() / "__/.._.._escape.txt"), (Bytes{'.', '.', '/', '.', '.', '/', 'e', 's', 'c',
                                                                     'a', 'p', 'e', '.', 't', 'x', 't'}));
}

TEST_F(RecoveryNamesTest, Utf8NamesAreWrittenAsTheyAreAndSameNamesAreNumbered) {
  const std::vector<std::string> names = {"café au lait.txt", "Привет, мир.txt", "日本語のファイル名.txt",
                                          "emoji 😀.txt"};
  for (const std::string& n : names) files[0].push_back({n, false});
  // A deleted file named as a live one takes the number, whatever their order in the directory.
  files[0].push_back({"notes.txt", true});
  files[0].push_back({"notes.txt", false});
  Run();
  for (const std::string& n : names) {
    EXPECT_TRUE(fs::exists(Dest() / PathFromUtf8(n))) << n;
    EXPECT_EQ(ReadFileBytes(Dest() / PathFromUtf8(n)), Bytes(n.begin(), n.end()));
  }
  std::set<std::string> onDisk;
  for (const auto& e : fs::directory_iterator(Dest())) onDisk.insert(Utf8FromPath(e.path().filename()));
  for (const std::string& n : names) EXPECT_EQ(onDisk.count(n), 1u) << n;
  EXPECT_EQ(onDisk.count("notes.txt"), 1u);
  EXPECT_EQ(onDisk.count("notes (1).txt"), 1u);
  const std::string deleted = "notes.txt/deleted";
  EXPECT_EQ(ReadFileBytes(Dest() / "notes (1).txt"), Bytes(deleted.begin(), deleted.end()));
}

TEST_F(RecoveryNamesTest, DeepAndRepeatedFoldersAreBoundedAndNoted) {
  TreeItem item = ctx.results.Tree().Root();
  for (std::uint32_t depth = 1; depth <= kMaxFolderDepth + 5; ++depth)
    item = InsertFolderNode(ctx.results, item, "d", 100 + depth, 0, 0, 99 + depth, false);
  // Two folders of the tree naming one directory: its files are written once.
  InsertFolderNode(ctx.results, ctx.results.Tree().Root(), "one", 50, 0, 0, 0, false);
  InsertFolderNode(ctx.results, ctx.results.Tree().Root(), "again", 50, 0, 0, 0, false);
  files[50] = {{"f", false}};
  const RecoveryPlan plan = Run();
  std::size_t deepest = 0;
  for (const PlannedFolder& f : plan.folders) deepest = std::max(deepest, std::count(f.treePath.begin(), f.treePath.end(), '/') + std::size_t{1});
  EXPECT_EQ(deepest, static_cast<std::size_t>(kMaxFolderDepth));
  ASSERT_EQ(plan.notes.size(), 2u);
  EXPECT_NE(plan.notes[0].find("deeper than 128 folders"), std::string::npos) << plan.notes[0];
  EXPECT_EQ(plan.notes[1], "again: the same directory as one, its files are recovered there");
  EXPECT_TRUE(fs::exists(Dest() / "one/f"));
  EXPECT_FALSE(fs::exists(Dest() / "again/f"));
}

}  // namespace
}  // namespace quarrow
