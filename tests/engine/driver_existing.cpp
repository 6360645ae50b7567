// Existing output files: the overwrite modes, every answer of askReplace, backup
// names, and extracting only newer entries or only files that exist.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <deque>
#include <filesystem>

#include "driver_support.h"

using namespace driver_test;

namespace {

// Answers of the replace callback, taken in order; the names it was asked about.
std::deque<int> answers;
std::string renameTo;
std::vector<std::string> asked;

int scriptedReplace(char* name, int size) {
    asked.emplace_back(name);
    int answer = answers.empty() ? REPLACE_NO : answers.front();
    if (!answers.empty()) answers.pop_front();
    if (answer == REPLACE_RENAME) std::snprintf(name, size_t(size), "%s", renameTo.c_str());
    return answer;
}

auto askMode(std::initializer_list<int> script) {
    answers = script;
    asked.clear();
    return [](UnzipOptions& o, UnzipCallbacks& c) {
        o.overwriteAll = 0;
        o.askBeforeOverwrite = 1;
        c.askReplace = scriptedReplace;
    };
}

// Entry time 2024-05-09 12:00:00 local; files get times one day before or after.
constexpr time_t kDay = 24 * 3600;
time_t entryTime() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 4;
    t.tm_mday = 9;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return mktime(&t);
}

void putFile(const std::string& path, const Bytes& bytes, time_t when) {
    makeDirectory(path.substr(0, path.rfind('/')));
    std::ofstream(path, std::ios::binary) << bytes;
    utimbuf times{when, when};
    utime(path.c_str(), &times);
}

struct Existing : Workspace {
    Existing() {
        write(buildArchive({{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}));
        putFile(out("a.txt"), "old a", entryTime() - kDay);
        putFile(out("b.txt"), "old b", entryTime() + kDay);
    }
};

}  // namespace

TEST(DriverExisting, OverwriteAlwaysAndNever) {
    Existing w;
    chmod(w.out("a.txt").c_str(), 0444);
    EngineRun run = w.extract();
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(readFile(w.out("a.txt")), "new a");  // read-only: made writable and replaced
    EXPECT_EQ(readFile(w.out("b.txt")), "new b");

    Existing never;
    run = never.extract([](UnzipOptions& o, UnzipCallbacks&) { o.overwriteAll = 0; });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(readFile(never.out("a.txt")), "old a");
    EXPECT_EQ(readFile(never.out("b.txt")), "old b");
    EXPECT_EQ(readFile(never.out("c.txt")), "new c");
    EXPECT_TRUE(contains(run.messages, "Target file exists.  Skipping " + never.out("a.txt") + "\n"));
}

TEST(DriverExisting, EveryAnswerOfTheReplaceQuestion) {
    Existing no;
    EngineRun run = no.extract(askMode({REPLACE_NO, REPLACE_YES}));
    EXPECT_EQ(asked, (std::vector<std::string>{no.out("a.txt"), no.out("b.txt")}));
    EXPECT_EQ(readFile(no.out("a.txt")), "old a");
    EXPECT_EQ(readFile(no.out("b.txt")), "new b");

    Existing all;
    run = all.extract(askMode({REPLACE_ALL}));
    EXPECT_EQ(asked.size(), 1u);  // not asked again for b.txt
    EXPECT_EQ(readFile(all.out("a.txt")), "new a");
    EXPECT_EQ(readFile(all.out("b.txt")), "new b");

    Existing none;
    run = none.extract(askMode({REPLACE_NONE}));
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(readFile(none.out("a.txt")), "old a");
    EXPECT_EQ(readFile(none.out("b.txt")), "old b");
    EXPECT_TRUE(contains(run.messages, "Target file exists.  Skipping " + none.out("b.txt")));
    EXPECT_EQ(readFile(none.out("c.txt")), "new c");

    // Rename: a relative name lands under the target, creating directories even when
    // freshening; a name that exists too is asked about again.
    Existing renamed;
    renameTo = "sub/other.txt";
    run = renamed.extract(askMode({REPLACE_RENAME, REPLACE_NO}));
    EXPECT_EQ(readFile(renamed.out("sub/other.txt")), "new a");
    EXPECT_EQ(readFile(renamed.out("a.txt")), "old a");

    Existing twice;
    renameTo = twice.out("b.txt");  // a full path, and one that exists
    run = twice.extract(askMode({REPLACE_RENAME, REPLACE_YES, REPLACE_NO}));
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[1], twice.out("b.txt"));
    EXPECT_EQ(readFile(twice.out("b.txt")), "new a");
    EXPECT_EQ(readFile(twice.out("a.txt")), "old a");
}

TEST(DriverExisting, BackupNamesCountUp) {
    Workspace w;
    w.write(buildArchive({{"a.txt", "v2"}}));
    putFile(w.out("a.txt"), "v1", entryTime() - kDay);
    auto backup = [](UnzipOptions& o, UnzipCallbacks&) {
        o.keepBackup = 1;
        o.overwriteAll = 0;
    };
    EXPECT_EQ(w.extract(backup).result, RC_OK);
    EXPECT_EQ(readFile(w.out("a.txt~")), "v1");
    EXPECT_EQ(w.extract(backup).result, RC_OK);
    EXPECT_EQ(readFile(w.out("a.txt~1")), "v2");
    EXPECT_EQ(w.extract(backup).result, RC_OK);
    EXPECT_EQ(readFile(w.out("a.txt~2")), "v2");
    EXPECT_EQ(readFile(w.out("a.txt")), "v2");

    // Overwriting always: an old backup is replaced instead of numbered.
    EXPECT_EQ(w.extract([](UnzipOptions& o, UnzipCallbacks&) { o.keepBackup = 1; }).result, RC_OK);
    EXPECT_EQ(readFile(w.out("a.txt~")), "v2");
    EXPECT_FALSE(exists(w.out("a.txt~3")));
}

TEST(DriverExisting, NewerOnlyAndFreshenOnly) {
    Existing newer;
    EngineRun run = newer.extract([](UnzipOptions& o, UnzipCallbacks&) { o.newerOnly = 1; });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(readFile(newer.out("a.txt")), "new a");  // older file replaced
    EXPECT_EQ(readFile(newer.out("b.txt")), "old b");  // newer file kept
    EXPECT_EQ(readFile(newer.out("c.txt")), "new c");  // missing file made
    EXPECT_TRUE(contains(run.messages, "Target file newer.  Skipping " + newer.out("b.txt")));

    Existing neverNewer;
    run = neverNewer.extract([](UnzipOptions& o, UnzipCallbacks&) {
        o.newerOnly = 1;
        o.overwriteAll = 0;
    });
    EXPECT_TRUE(contains(run.messages, "Target file exists.  Skipping " + neverNewer.out("b.txt")));

    Existing fresh;
    run = fresh.extract([](UnzipOptions& o, UnzipCallbacks&) { o.freshenOnly = 1; });
    EXPECT_EQ(run.result, RC_OK);
    EXPECT_EQ(readFile(fresh.out("a.txt")), "new a");
    EXPECT_EQ(readFile(fresh.out("b.txt")), "old b");
    EXPECT_FALSE(exists(fresh.out("c.txt")));
    EXPECT_FALSE(contains(run.messages, "c.txt"));
}

namespace {

// While the replace question waits, the user takes the folder away.
std::string folderTakenAway;
int takeFolderAway(char*, int) {
    std::filesystem::remove_all(folderTakenAway);
    return REPLACE_YES;
}

}  // namespace

TEST(DriverExisting, AFolderTakenAwayIsAskedAboutAgain) {
    // A later file under "d" must find that "d" is no longer the folder the first one
    // found: the archive itself, or the user, took it away in between.
    const Bytes archive = buildArchive({{"d/a.txt", "a"}, {"d", "file d"}, {"d/b.txt", "b"}});
    const std::string notAFolder = "/out/d exists but is not directory\n"
                                   "                 unable to process d/b.txt.\n";

    // Kept as a backup: the folder is renamed away.
    Workspace backup;
    backup.write(archive);
    EngineRun run = backup.extract([](UnzipOptions& o, UnzipCallbacks&) { o.keepBackup = 1; });
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, notAFolder)) << run.messages;
    EXPECT_EQ(readFile(backup.out("d~/a.txt")), "a");
    EXPECT_EQ(readFile(backup.out("d")), "file d");

    // The same through "..": the entries share the folder "d/..", on a path through "d",
    // which the backup of the entry "d/../d" renames away. The file after it makes "d"
    // again rather than trust the shared folder.
    Workspace parent;
    parent.write(buildArchive({{"d/a.txt", "a"}, {"d/../d", "file d"}, {"d/../b.txt", "b"}}));
    run = parent.extract([](UnzipOptions& o, UnzipCallbacks&) {
        o.keepBackup = 1;
        o.directoryMode = 2;
    });
    EXPECT_TRUE(contains(run.messages, "error:  cannot create " + parent.out("d/../d")));
    EXPECT_EQ(readFile(parent.out("d~/a.txt")), "a");
    EXPECT_EQ(readFile(parent.out("b.txt")), "b");
    EXPECT_TRUE(isDirectory(parent.out("d")));

#ifndef _WIN32
    // A link that stood for the folder is deleted, never followed, when the file comes.
    Workspace linked;
    linked.write(archive);
    makeDirectory(linked.target);
    makeDirectory(linked.dir.file("real"));
    ASSERT_EQ(symlink(linked.dir.file("real").c_str(), linked.out("d").c_str()), 0);
    run = linked.extract();
    EXPECT_EQ(run.result, RC_ERROR);
    EXPECT_TRUE(contains(run.messages, notAFolder)) << run.messages;
    EXPECT_EQ(readFile(linked.dir.file("real/a.txt")), "a");
    EXPECT_EQ(readFile(linked.out("d")), "file d");
    EXPECT_FALSE(exists(linked.dir.file("real/b.txt")));
#endif

    // Taken away by the user while a question waited: the entry asked about cannot be
    // written, the next one in that folder makes the folder again.
    Workspace asked;
    asked.write(buildArchive({{"d/a.txt", "a"}, {"d/a.txt", "again"}, {"d/b.txt", "b"}}));
    folderTakenAway = asked.out("d");
    run = asked.extract([](UnzipOptions& o, UnzipCallbacks& c) {
        o.overwriteAll = 0;
        o.askBeforeOverwrite = 1;
        c.askReplace = takeFolderAway;
    });
    EXPECT_TRUE(contains(run.messages, "error:  cannot create " + asked.out("d/a.txt")))
        << run.messages;
    EXPECT_EQ(readFile(asked.out("d/b.txt")), "b");
}
