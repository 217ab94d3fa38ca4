#include "recovery/recovery_offer.h"
#include "recovery/recovery_store.h"
#include "recovery_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "support/test_files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <deque>
#include <future>

namespace pokopen {
namespace {

using testing::leaveLockOfDeadProcess;
using testing::songWithNotes;
using testing::utc;

class RecoveryStoreTest : public ::testing::Test {
protected:
    // A store over the test's folder whose clock reads `now` and whose process id is `pid`.
    std::unique_ptr<RecoveryStore> store(std::int64_t pid = 4242) {
        return std::make_unique<RecoveryStore>(
            folder(), [this] { return now; }, pid);
    }
    QString folder() const { return dir.filePath("recovery"); }
    QString file(const QString& name) const { return QDir(folder()).filePath(name); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files, QDir::Name); }
    static std::string bytesOf(const Song& song, const std::string& path, const QDateTime& time) {
        return serializeRecovery(
            {path, QFileInfo(QString::fromStdString(path)).completeBaseName().toStdString(), time}, song);
    }
    // Writes an entry as a program that then dies with its lock held.
    QString leaveCrashedEntry(std::int64_t pid, const QDateTime& time, int notes) {
        now = time;
        auto s = store(pid);
        EXPECT_EQ(s->writeOwn(bytesOf(songWithNotes(notes), "/songs/a.kn2", time), s->generation()),
                  RecoveryStore::WriteResult::Written);
        const QString path = s->ownRecoveryPath();
        s.reset();                                                           // lets go of the lock...
        leaveLockOfDeadProcess(QString(path).replace(".recovery", ".lock")); // ...held again by a dead one
        return path;
    }

    QTemporaryDir dir;
    QDateTime now = utc("2026-12-08T09:30:15.250Z");
};

TEST_F(RecoveryStoreTest, EntriesAreNamedByTimeAndProcessAndNeverTakeAnotherEntrysName) {
    auto first = store();
    EXPECT_TRUE(first->ownRecoveryPath().isEmpty()) << "named only when first written";
    ASSERT_EQ(first->writeOwn("one", first->generation()), RecoveryStore::WriteResult::Written);
    EXPECT_EQ(files(),
              (QStringList{"autosave-20261208-093015-4242.lock", "autosave-20261208-093015-4242.recovery"}));

    // A second program with the same time and id (an id reused after a crash), and a leftover
    // autosave file of a dead program under the next name: each gets a name of its own.
    QFile leftover(file("autosave-20261208-093015-4242-2.recovery"));
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("leftover");
    leftover.close();
    auto second = store();
    ASSERT_EQ(second->writeOwn("two", second->generation()), RecoveryStore::WriteResult::Written);
    EXPECT_EQ(QFileInfo(second->ownRecoveryPath()).fileName(), "autosave-20261208-093015-4242-3.recovery");

    QFile check(file("autosave-20261208-093015-4242-2.recovery"));
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), "leftover");
    QFile own(first->ownRecoveryPath());
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(own.readAll(), "one");
}

TEST_F(RecoveryStoreTest, OnlyEntriesOfProgramsThatAreGoneAreOffered) {
    const QString crashed = leaveCrashedEntry(1001, utc("2026-12-08T08:00:00Z"), 3);
    ASSERT_TRUE(QFileInfo::exists(QString(crashed).replace(".recovery", ".lock")));

    now = utc("2026-12-08T09:00:00Z");
    auto running = store(1002); // a program still running, with an autosave of its own
    ASSERT_EQ(running->writeOwn(bytesOf(songWithNotes(1), "", now), running->generation()),
              RecoveryStore::WriteResult::Written);
    // An entry whose program closed its store without removing the file (no lock at all).
    now = utc("2026-12-08T07:00:00Z");
    auto unlocked = store(1003);
    ASSERT_EQ(unlocked->writeOwn(bytesOf(songWithNotes(2), "", now), unlocked->generation()),
              RecoveryStore::WriteResult::Written);
    const QString unlockedPath = unlocked->ownRecoveryPath();
    unlocked.reset();
    QFile partial(unlockedPath + ".Xy12Ab"); // the temporary file of a write the crash cut off
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    partial.close();

    auto starting = store(1004);
    std::vector<RecoveryCandidate> found = starting->takeOrphans();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].recoveryPath, crashed);
    EXPECT_EQ(found[0].song, songWithNotes(3));
    EXPECT_EQ(found[1].recoveryPath, unlockedPath);
    EXPECT_FALSE(partial.exists());
    EXPECT_EQ(running->takeOrphans().size(), 0u) << "held by the program that found them";

    // Left for later: the next program finds them again; the running one's entry never.
    for (RecoveryCandidate& c : found)
        RecoveryStore::keep(c);
    EXPECT_EQ(store(1005)->takeOrphans().size(), 2u);
}

TEST_F(RecoveryStoreTest, EntriesComeNewestFirstByTheirAutosaveTime) {
    // Names and process ids in another order than the times.
    leaveCrashedEntry(3, utc("2026-12-08T09:00:00.500Z"), 1);
    leaveCrashedEntry(1, utc("2026-12-08T09:00:00.900Z"), 2);
    leaveCrashedEntry(2, utc("2026-12-07T23:59:59Z"), 3);
    // A damaged file goes by its modification time.
    QFile damaged(file("autosave-20200101-000000-9.recovery"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("garbage");
    damaged.flush(); // before the time is set, or writing the buffer sets it again
    ASSERT_TRUE(damaged.setFileTime(utc("2026-12-08T09:00:01Z"), QFileDevice::FileModificationTime));
    damaged.close();

    const std::vector<RecoveryCandidate> found = store(4)->takeOrphans();
    ASSERT_EQ(found.size(), 4u);
    EXPECT_TRUE(found[0].damaged());
    EXPECT_EQ(found[1].song, songWithNotes(2));
    EXPECT_EQ(found[2].song, songWithNotes(1));
    EXPECT_EQ(found[3].song, songWithNotes(3));
    EXPECT_EQ(found[1].info.time, utc("2026-12-08T09:00:00.900Z"));
    EXPECT_EQ(found[1].info.filePath, "/songs/a.kn2");
    EXPECT_EQ(found[1].info.fileTitle, "a");
}

TEST_F(RecoveryStoreTest, RemovalRules) {
    auto s = store();
    const std::uint64_t taken = s->generation();
    ASSERT_EQ(s->writeOwn("first", taken), RecoveryStore::WriteResult::Written);
    const QString own = s->ownRecoveryPath();
    const QString lock = QString(own).replace(".recovery", ".lock");

    // Saved: the file goes, the lock stays, and a write of a song taken before is dropped.
    s->removeOwn();
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_TRUE(QFileInfo::exists(lock));
    EXPECT_EQ(s->writeOwn("late", taken), RecoveryStore::WriteResult::Skipped);
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_EQ(store(7)->takeOrphans().size(), 0u) << "a running program's bare lock is left alone";

    // Edited again, then the normal end: file and lock go, and nothing is written after.
    ASSERT_EQ(s->writeOwn("again", s->generation()), RecoveryStore::WriteResult::Written);
    s->close();
    EXPECT_EQ(s->writeOwn("after", s->generation()), RecoveryStore::WriteResult::Skipped);
    EXPECT_TRUE(files().isEmpty()) << files().join(' ').toStdString();
}

TEST_F(RecoveryStoreTest, DiscardedEntryGoesAndAdoptedEntryBecomesTheOwnOne) {
    const QString a = leaveCrashedEntry(11, utc("2026-12-08T08:00:00Z"), 1);
    const QString b = leaveCrashedEntry(12, utc("2026-12-08T08:30:00Z"), 2);
    auto s = store(13);
    std::vector<RecoveryCandidate> found = s->takeOrphans();
    ASSERT_EQ(found.size(), 2u);
    ASSERT_EQ(found[0].recoveryPath, b);

    RecoveryStore::discard(found[1]);
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(QString(a).replace(".recovery", ".lock")));

    s->adopt(found[0]);
    EXPECT_EQ(s->ownRecoveryPath(), b);
    EXPECT_EQ(store(14)->takeOrphans().size(), 0u) << "the adopted entry is held";
    ASSERT_EQ(s->writeOwn("newer", s->generation()), RecoveryStore::WriteResult::Written);
    QFile adopted(b);
    ASSERT_TRUE(adopted.open(QIODevice::ReadOnly));
    EXPECT_EQ(adopted.readAll(), "newer");
    adopted.close();
    s->removeOwn(); // the restored song saved
    EXPECT_FALSE(QFileInfo::exists(b));
}

TEST_F(RecoveryStoreTest, DamagedEntryIsReportedWithTheLineAndOffersNoSong) {
    const std::string good = bytesOf(songWithNotes(2), "/songs/b.kn2", now);
    const std::size_t songStart = good.find("MorvelKNBv200");
    ASSERT_NE(songStart, std::string::npos);
    struct Case {
        const char* what;
        std::string bytes;
        int line;
    };
    std::string badCount = good;
    badCount.replace(good.rfind("\r\n", good.size() - 3) + 2, 1, "x"); // the last line, a number
    const Case cases[] = {
        {"cut short", good.substr(0, good.size() - 10), 3},
        {"one byte more", good + "0", 3},
        {"not an autosave file", good.substr(songStart), 1},
        {"description broken", std::string("POKOPEN-AUTOSAVE 1\r\n{\"path\":1}\r\n") + good.substr(songStart),
         2},
        {"empty", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecoveryInfo info{"kept", "kept", now};
        Song song = songWithNotes(5);
        const FileResult result = parseRecovery(c.bytes, info, song);
        EXPECT_EQ(result.error, FileError::Malformed);
        EXPECT_EQ(result.line, c.line);
        EXPECT_FALSE(result.message.empty());
        EXPECT_FALSE(result.japanese.empty()) << "the windows show it";
        EXPECT_EQ(song, songWithNotes(5)) << "never loaded half-way";
        EXPECT_EQ(info.filePath, "kept");
    }
    // A broken song line is named as a line of the autosave file: the song's own line + 2.
    Song song;
    RecoveryInfo info;
    FileResult inSong = parseKn2(badCount.substr(songStart), song);
    ASSERT_FALSE(inSong.ok());
    const FileResult inFile = parseRecovery(badCount, info, song);
    EXPECT_EQ(inFile.line, inSong.line + 2);

    // In the folder: found, reported, and deleted on request.
    QDir().mkpath(folder());
    QFile damaged(file("autosave-20261208-080000-77.recovery"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(good.substr(0, good.size() / 2).c_str());
    damaged.close();
    std::vector<RecoveryCandidate> found = store()->takeOrphans();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].damaged());
    EXPECT_EQ(found[0].song, Song());
    RecoveryStore::discard(found[0]);
    EXPECT_TRUE(files().isEmpty());
}

// Answers the offer from a script and records what was asked, as "ask <notes>" and so on.
class ScriptedQuestions : public RecoveryQuestions {
public:
    std::deque<RecoveryChoice> choices;
    std::deque<bool> confirmations;
    QStringList asked;

    RecoveryChoice askRestore(const RecoveryCandidate& c) override {
        asked << "ask " + name(c);
        return testing::takeFront(choices, RecoveryChoice::Later);
    }
    bool confirmDiscard(const RecoveryCandidate& c) override {
        asked << "confirm " + name(c);
        return testing::takeFront(confirmations, false);
    }
    bool askDeleteDamaged(const RecoveryCandidate& c) override {
        asked << "damaged " + QString::fromStdString(c.result.message);
        return testing::takeFront(confirmations, false);
    }

private:
    static QString name(const RecoveryCandidate& c) { return QString::number(c.song.row(0).count()); }
};

TEST_F(RecoveryStoreTest, OfferGoesNewestFirstUntilASongIsRestored) {
    // Part 1 holds 2 events per note plus the initial ones, so the row's count names the entry.
    const int initial = songWithNotes(0).row(0).count();
    const QString d = leaveCrashedEntry(1, utc("2026-12-08T05:00:00Z"), 4);
    const QString c = leaveCrashedEntry(2, utc("2026-12-08T06:00:00Z"), 3);
    const QString b = leaveCrashedEntry(3, utc("2026-12-08T07:00:00Z"), 2);
    const QString a = leaveCrashedEntry(4, utc("2026-12-08T08:00:00Z"), 1);
    QFile damaged(file("autosave-20261208-000000-5.recovery"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("POKOPEN-AUTOSAVE 1\r\n");
    damaged.flush();
    ASSERT_TRUE(damaged.setFileTime(utc("2026-12-08T07:30:00Z"), QFileDevice::FileModificationTime));
    damaged.close();

    ScriptedQuestions q;
    // a: discard, not confirmed, asked again: later. Damaged: deleted. b: discarded. c: restored.
    q.choices = {RecoveryChoice::Discard, RecoveryChoice::Later, RecoveryChoice::Discard,
                 RecoveryChoice::Restore};
    q.confirmations = {false, true, true};
    auto s = store(9);
    std::optional<RecoveryCandidate> chosen = offerRecovery(s->takeOrphans(), q);

    auto n = [initial](int notes) { return QString::number(initial + 2 * notes); };
    EXPECT_EQ(q.asked, (QStringList{"ask " + n(1), "confirm " + n(1), "ask " + n(1),
                                    "damaged the description is missing", "ask " + n(2), "confirm " + n(2),
                                    "ask " + n(3)}));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->recoveryPath, c);
    EXPECT_EQ(chosen->song, songWithNotes(3));
    EXPECT_TRUE(chosen->lock && chosen->lock->isLocked());
    EXPECT_TRUE(QFileInfo::exists(a));
    EXPECT_FALSE(QFileInfo::exists(b));
    EXPECT_FALSE(QFileInfo::exists(damaged.fileName()));
    EXPECT_TRUE(QFileInfo::exists(d)) << "not asked about: left for the next start";
    // Everything but the chosen entry is free for the next start.
    std::vector<RecoveryCandidate> next = store(10)->takeOrphans();
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[0].recoveryPath, a);
    EXPECT_EQ(next[1].recoveryPath, d);
}

TEST(RecoveryOffer, NamesTheSongByItsFileName) {
    EXPECT_EQ(recoverySongName({"/home/u/曲/きらきら.kn2", "きらきら", {}}), QStringLiteral("きらきら.kn2"));
    EXPECT_EQ(recoverySongName({"/home/u/old.knb", "old", {}}), "old.knb");
    EXPECT_EQ(recoverySongName({"", "Notitle", {}}), "Notitle");
}

TEST(RecoveryFile, DescriptionAndSongComeBackAsWritten) {
    // With and without the song file's fingerprint (a hash using all 64 bits, a time in ns).
    for (const std::optional<FileFingerprint>& fingerprint :
         {std::optional<FileFingerprint>(), std::optional<FileFingerprint>(FileFingerprint{
                                                12345, 1796722215123456789, 0xfedcba9876543210ULL})}) {
        const RecoveryInfo info{"/home/ユーザー/曲\nwith a line break.kn2", "曲",
                                utc("2026-12-08T09:30:15.250Z"), fingerprint};
        const Song song = songWithNotes(40);
        RecoveryInfo readInfo;
        Song readSong;
        ASSERT_TRUE(parseRecovery(serializeRecovery(info, song), readInfo, readSong).ok());
        EXPECT_EQ(readInfo, info);
        EXPECT_EQ(readSong, song);
    }
}

// A save removes the autosave while the autosave thread is still writing a song taken before:
// the removal returns at once, and the write that finishes after it leaves no file.
TEST_F(RecoveryStoreTest, RemovalDoesNotWaitForAWriteUnderWay) {
    auto s = store();
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    s->setFileWriter([&](const QString& path, std::string_view bytes) {
        entered.set_value();
        released.wait();
        return writeRecoveryFileAtomically(path, bytes);
    });
    auto write = std::async(std::launch::async, [&] { return s->writeOwn("slow", s->generation()); });
    entered.get_future().wait();
    auto removal = std::async(std::launch::async, [&] { s->removeOwn(); });
    const bool returned = removal.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    release.set_value();
    EXPECT_TRUE(returned) << "the removal waited for the write";
    EXPECT_EQ(write.get(), RecoveryStore::WriteResult::Skipped);
    removal.wait();
    EXPECT_EQ(files().size(), 1) << "only the lock stays: " << files().join(' ').toStdString();
}

// A disk that fills up while the autosave file is written: the write fails and the autosave
// file of the previous interval stays whole. The file-size limit of the process makes the
// kernel refuse the write part-way, as a full disk does.
TEST_F(RecoveryStoreTest, FullDiskKeepsThePreviousAutosaveFile) {
    auto s = store();
    const std::string before = bytesOf(songWithNotes(2), "/songs/c.kn2", now);
    ASSERT_EQ(s->writeOwn(before, s->generation()), RecoveryStore::WriteResult::Written);
    const std::string bigger = bytesOf(songWithNotes(3000), "/songs/c.kn2", now);
    ASSERT_GT(bigger.size(), 2 * before.size());

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = static_cast<rlim_t>(before.size() + bigger.size()) / 2;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const RecoveryStore::WriteResult result = s->writeOwn(bigger, s->generation());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, RecoveryStore::WriteResult::Failed);
    std::string onDisk;
    ASSERT_TRUE(readWholeFile(s->ownRecoveryPath().toStdString(), onDisk));
    EXPECT_TRUE(onDisk == before) << "the previous autosave file changed (" << onDisk.size() << " bytes)";
    EXPECT_EQ(files().size(), 2) << "no temporary file left: " << files().join(' ').toStdString();

    // The next interval, with room again, writes the newer song.
    EXPECT_EQ(s->writeOwn(bigger, s->generation()), RecoveryStore::WriteResult::Written);
}

} // namespace
} // namespace pokopen
