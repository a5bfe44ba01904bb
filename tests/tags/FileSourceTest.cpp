#include "tags/FileSource.h"

#include "TagTestFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

// A FIFO would block the open until some writer came.
TEST(FileSource, RefusesWhatIsNoRegularFileWithoutWaiting) {
    TTempFolder folder;
    const std::string fifo = folder.File("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TFileSource file;
    EXPECT_FALSE(file.Open(fifo));
    TFileSource missing;
    EXPECT_FALSE(missing.Open(folder.File("missing")));
}
