#include "platform/Files.h"

#include "platform/AppFolder.h"
#include "platform/TempFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

struct ScopedFolder {
    fs::path Path;
    ScopedFolder() {
        std::string pattern = (fs::temp_directory_path() / "parvane-files-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~ScopedFolder() { fs::remove_all(Path); }
};

struct ScopedTmpdir {
    std::string Old;
    bool Had;
    explicit ScopedTmpdir(const std::string& value) : Had(std::getenv("TMPDIR") != nullptr) {
        if (Had)
            Old = std::getenv("TMPDIR");
        setenv("TMPDIR", value.c_str(), 1);
    }
    ~ScopedTmpdir() {
        if (Had)
            setenv("TMPDIR", Old.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
};

} // namespace

TEST(AppFolder, IsTheFolderOfTheRunningExecutable) {
    std::string folder = platform::AppFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(fs::canonical(folder), fs::canonical(PARVANE_APP_DIR));
}

TEST(Files, OnlyRegularFilesExistAndHaveASize) {
    ScopedFolder dir;
    fs::path file = dir.Path / "song.wav";
    std::ofstream(file) << "12345";
    fs::create_directory(dir.Path / "x.mp3");
    fs::create_symlink(dir.Path / "gone", dir.Path / "dangling.wav");
    mkfifo((dir.Path / "pipe.wav").c_str(), 0600);

    EXPECT_TRUE(platform::FileExists(file));
    EXPECT_EQ(platform::FileSize(file), 5);
    for (const char* name : {"x.mp3", "dangling.wav", "pipe.wav", "missing.wav"}) {
        EXPECT_FALSE(platform::FileExists(dir.Path / name)) << name;
        EXPECT_EQ(platform::FileSize(dir.Path / name), -1) << name;
    }
    EXPECT_FALSE(platform::FileExists(""));
    EXPECT_TRUE(platform::DeleteFile(file));
    EXPECT_FALSE(platform::DeleteFile(file));
}

// Linux lists a folder in no particular order; the names come back as a file manager shows them.
TEST(Files, FolderFileNamesAreTheFilesInNaturalOrder) {
    ScopedFolder dir;
    for (const char* name :
         {"10 - x.flac", "2 - x.flac", "1 - x.flac", "11 - x.flac", "3 - x.flac", "B.txt", "a.txt"})
        std::ofstream(dir.Path / name) << "x";
    fs::create_directory(dir.Path / "0 - folder");
    fs::create_symlink(dir.Path / "gone", dir.Path / "4 - dangling.wav");

    EXPECT_EQ(
        platform::FolderFileNames(dir.Path.string()),
        (std::vector<std::string>{"1 - x.flac", "2 - x.flac", "3 - x.flac", "4 - dangling.wav",
                                  "10 - x.flac", "11 - x.flac", "a.txt", "B.txt"}));
    EXPECT_TRUE(platform::FolderFileNames((dir.Path / "missing").string()).empty());
}

TEST(TempFile, CreatesNewEmptyFilesWithThePrefixInTmpdir) {
    ScopedFolder dir;
    ScopedTmpdir tmp(dir.Path.string());
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        std::string path = platform::CreateTempWav();
        ASSERT_FALSE(path.empty());
        fs::path p(path);
        EXPECT_EQ(p.parent_path(), dir.Path);
        std::string name = p.filename().string();
        EXPECT_EQ(name.rfind(platform::TempWavPrefix, 0), 0u) << name;
        EXPECT_EQ(name.size(), std::string(platform::TempWavPrefix).size() + 6 + 4);
        EXPECT_TRUE(name.ends_with(".tmp"));
        EXPECT_EQ(fs::file_size(p), 0u);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 20u);
}

TEST(TempFile, FailsCleanlyWhenTheTemporaryFolderIsMissingOrReadOnly) {
    ScopedFolder dir;
    {
        ScopedTmpdir tmp((dir.Path / "missing").string());
        EXPECT_EQ(platform::CreateTempWav(), "");
    }
    if (geteuid() != 0) { // root writes into read-only folders anyway
        fs::permissions(dir.Path, fs::perms::owner_read | fs::perms::owner_exec);
        ScopedTmpdir tmp(dir.Path.string());
        EXPECT_EQ(platform::CreateTempWav(), "");
        fs::permissions(dir.Path, fs::perms::owner_all);
    }
}
