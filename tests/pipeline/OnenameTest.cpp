#include "pipeline/Onename.h"

#include "tools/ToolTestSupport.h"

#include <gtest/gtest.h>

using tooltest::TScopedFolder;
using tooltest::WriteFile;

namespace {

std::string UniqueFor(const std::string& path) {
    TOneName name;
    name.Path = path;
    const std::string result = name.UniqueName();
    EXPECT_EQ(name.Path, path);
    return result;
}

} // namespace

TEST(OneName, CountsUpToTheFirstFreeName) {
    TScopedFolder folder;
    const std::string song = (folder / "song.mp4").string();
    EXPECT_EQ(UniqueFor(song), song);
    WriteFile(song, "x");
    EXPECT_EQ(UniqueFor(song), (folder / "song-1.mp4").string());
    // Nothing is reserved: asking again gives the same name.
    EXPECT_EQ(UniqueFor(song), (folder / "song-1.mp4").string());
    WriteFile(folder / "song-1.mp4", "x");
    EXPECT_EQ(UniqueFor(song), (folder / "song-2.mp4").string());
}

TEST(OneName, FillsTheFirstGap) {
    TScopedFolder folder;
    WriteFile(folder / "song.mp4", "x");
    WriteFile(folder / "song-2.mp4", "x");
    EXPECT_EQ(UniqueFor((folder / "song.mp4").string()), (folder / "song-1.mp4").string());
}

TEST(OneName, ExtensionIsTakenFromTheFileNameOnly) {
    TScopedFolder folder;
    std::filesystem::create_directory(folder / "a.b");
    const std::string bare = (folder / "a.b" / "song").string();
    WriteFile(bare, "x");
    EXPECT_EQ(UniqueFor(bare), bare + "-1");
    const std::string twoDots = (folder / "a.b" / "live.2020.mp4").string();
    WriteFile(twoDots, "x");
    EXPECT_EQ(UniqueFor(twoDots), (folder / "a.b" / "live.2020-1.mp4").string());
}
