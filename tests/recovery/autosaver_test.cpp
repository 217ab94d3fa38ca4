#include "recovery/autosaver.h"
#include "recovery_test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

namespace pokopen {
namespace {

using testing::songWithNotes;
using testing::utc;

// The open song as the autosaver sees it.
class FakeSource : public AutosaveSource {
public:
    std::uint64_t revision() const override { return rev; }
    bool isModified() const override { return modified; }
    Song snapshot() const override {
        ++snapshots;
        return song;
    }
    std::string filePath() const override { return path; }
    std::string fileTitle() const override { return title; }

    std::uint64_t rev = 1;
    bool modified = true;
    Song song = songWithNotes(4);
    std::string path = "/songs/tune.kn2";
    std::string title = "tune";
    mutable int snapshots = 0;
};

class AutosaverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "logic_tests";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv); // lives until the process ends
        }
    }
    void SetUp() override {
        store.setFileWriter([this](const QString& path, std::string_view bytes) {
            ++attempts;
            return !failing && writeRecoveryFileAtomically(path, bytes);
        });
    }
    // What the own autosave file holds; false when there is none or it does not read.
    bool readOwn(RecoveryInfo& info, Song& song) const {
        std::string bytes;
        return readWholeFile(store.ownRecoveryPath().toStdString(), bytes) &&
               parseRecovery(bytes, info, song).ok();
    }

    QTemporaryDir dir;
    RecoveryStore store{dir.filePath("recovery"), [] { return utc("2026-12-08T10:00:00Z"); }, 99};
    FakeSource source;
    std::atomic<int> attempts{0};
    std::atomic<bool> failing{false};
};

TEST(AutosaveInterval, ReadFromTheIni) {
    QTemporaryDir dir;
    const struct {
        const char* value; // nullptr: no key
        int seconds;
    } cases[] = {{nullptr, 60}, {"0", 0}, {"30", 30}, {"0.5", 1},    {"-3", 1},
                 {"abc", 60},   {"", 60}, {"2.9", 2}, {"1e9", 86400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(missing)");
        QSettings ini(dir.filePath("pokopen.ini"), QSettings::IniFormat);
        ini.clear();
        if (c.value)
            ini.setValue("AUTOSAVE/Interval", QString::fromLatin1(c.value));
        EXPECT_EQ(autosaveIntervalSeconds(ini), c.seconds);
    }
}

TEST_F(AutosaverTest, WritesOnlyASongThatChangedSinceTheLastAutosave) {
    Autosaver autosaver(source, store, 0);
    autosaver.autosaveNow();
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    RecoveryInfo info;
    Song song;
    ASSERT_TRUE(readOwn(info, song));
    EXPECT_EQ(song, source.song);
    EXPECT_EQ(info, (RecoveryInfo{"/songs/tune.kn2", "tune", utc("2026-12-08T10:00:00Z")}));

    autosaver.autosaveNow(); // same revision: not even a snapshot
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    EXPECT_EQ(source.snapshots, 1);
    EXPECT_EQ(attempts, 1);

    source.rev = 2;
    source.song = songWithNotes(6);
    autosaver.autosaveNow();
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    ASSERT_TRUE(readOwn(info, song));
    EXPECT_EQ(song, songWithNotes(6));

    // Undone back to the saved song: nothing to recover, the entry goes.
    source.rev = 3;
    source.modified = false;
    autosaver.autosaveNow();
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    EXPECT_FALSE(QFileInfo::exists(store.ownRecoveryPath()));
    EXPECT_EQ(attempts, 2);

    // Saved, then edited: written again; the normal end takes entry and lock away.
    source.rev = 4;
    source.modified = true;
    autosaver.autosaveNow();
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    EXPECT_TRUE(QFileInfo::exists(store.ownRecoveryPath()));
    autosaver.removeEntry();
    EXPECT_FALSE(QFileInfo::exists(store.ownRecoveryPath()));
    autosaver.autosaveNow(); // the song still differs from its file: the entry comes back
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    EXPECT_EQ(attempts, 4);
    autosaver.finish();
    EXPECT_TRUE(QDir(dir.filePath("recovery")).isEmpty());
}

TEST_F(AutosaverTest, FailureIsToldOncePerRunAndTriedAgainEachInterval) {
    Autosaver autosaver(source, store, 0);
    QStringList told;
    autosaver.setFailureHandler([&told](const QString& folder) { told << folder; });
    failing = true;
    for (int i = 0; i < 3; ++i) {
        autosaver.autosaveNow();
        ASSERT_TRUE(autosaver.waitForWriter(5000));
    }
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(told, QStringList{dir.filePath("recovery")});

    failing = false;
    autosaver.autosaveNow();
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    RecoveryInfo info;
    Song song;
    EXPECT_TRUE(readOwn(info, song));
    EXPECT_EQ(told.size(), 1);
}

TEST_F(AutosaverTest, TheTimerWritesEachInterval) {
    Autosaver autosaver(source, store, 1);
    EXPECT_EQ(autosaver.intervalSeconds(), 1);
    QElapsedTimer clock;
    clock.start();
    while (attempts == 0 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(autosaver.waitForWriter(5000));
    EXPECT_GE(clock.elapsed(), 900);
    RecoveryInfo info;
    Song song;
    EXPECT_TRUE(readOwn(info, song));
}

} // namespace
} // namespace pokopen
