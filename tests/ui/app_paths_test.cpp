#include "ui/app_paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace pokopen {
namespace {

// A program folder and per-user folders inside one temporary folder. The writability of the
// program folder is injected: the tests may run as root, for whom permission bits mean nothing.
class AppPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir(root.path()).mkpath("bin"));
        binDir = root.filePath("bin");
    }

    AppPaths make(bool programFolderWritable, const QString& exeName = "pokopen") {
        AppPaths::Locations locations;
        locations.executablePath = QDir(binDir).filePath(exeName);
        locations.userConfigDir = root.filePath("config/pokopen");
        locations.userCacheDir = root.filePath("cache/pokopen");
        locations.isWritable = [this, programFolderWritable](const QString& folder) {
            askedAbout = folder;
            return programFolderWritable;
        };
        return AppPaths(locations);
    }

    static void touch(const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir root;
    QString binDir;
    QString askedAbout;
};

TEST_F(AppPathsTest, WritableProgramFolderKeepsFilesBesideTheExecutable) {
    const AppPaths paths = make(true);
    EXPECT_EQ(askedAbout, binDir);
    EXPECT_TRUE(paths.portable());
    EXPECT_EQ(paths.iniPath(), binDir + "/pokopen.ini");
    EXPECT_EQ(paths.testPlayMidiPath(), binDir + "/knb.mid");
}

TEST_F(AppPathsTest, ReadOnlyProgramFolderUsesPerUserFolders) {
    const AppPaths paths = make(false);
    EXPECT_FALSE(paths.portable());
    EXPECT_EQ(paths.iniPath(), root.filePath("config/pokopen/pokopen.ini"));
    EXPECT_FALSE(QDir(root.filePath("cache/pokopen")).exists());
    EXPECT_EQ(paths.testPlayMidiPath(), root.filePath("cache/pokopen/knb.mid"));
    // The caller writes knb.mid straight away, so its folder must exist by now.
    EXPECT_TRUE(QDir(root.filePath("cache/pokopen")).exists());
}

TEST_F(AppPathsTest, IniFileTakesTheExecutablesNameWithExtensionReplaced) {
    EXPECT_EQ(QFileInfo(make(true, "pokopen.exe").iniPath()).fileName(), "pokopen.ini");
    EXPECT_EQ(QFileInfo(make(false, "seq.v2.exe").iniPath()).fileName(), "seq.v2.ini");
}

TEST_F(AppPathsTest, ManualBesideTheExecutableComesBeforeTheInstalledOne) {
    const QString beside = binDir + "/manual/index.html";
    const QString installed = root.filePath("share/pokopen/manual/index.html");

    EXPECT_EQ(make(false).manualPath(), QString()); // neither: the caller says it is missing
    EXPECT_EQ(make(false).manualCandidates(), QStringList({beside, installed}));

    touch(installed);
    EXPECT_EQ(make(false).manualPath(), installed);
    touch(beside);
    EXPECT_EQ(make(false).manualPath(), beside);
}

TEST_F(AppPathsTest, WriteProbeSeesMissingFoldersAndLeavesNoFiles) {
    EXPECT_TRUE(AppPaths::folderAcceptsFiles(binDir));
    EXPECT_TRUE(QDir(binDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(AppPaths::folderAcceptsFiles(root.filePath("no-such-folder")));
    touch(root.filePath("a-file"));
    EXPECT_FALSE(AppPaths::folderAcceptsFiles(root.filePath("a-file")));
}

} // namespace
} // namespace pokopen
