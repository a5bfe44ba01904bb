#include "FaultRun.h"

#include <QTimer>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const int Runs = 200;
const int WarmUpRuns = 10;
// What may come and go without being a leak: a few descriptors Qt opens lazily, the heap's
// own slack.
const std::size_t DescriptorSlack = 4;
const long MemorySlackKiB = 8 * 1024;

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Our children, zombies included.
std::size_t ChildProcesses() {
    std::size_t count = 0;
    const std::string parent = "PPid:\t" + std::to_string(getpid());
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);)
            if (line == parent)
                ++count;
    }
    return count;
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return 0;
}

class Soak : public TFaultRun {};

} // namespace

// Every save mode and verify only, over all four kinds, with an abort at a random moment in
// about every third run.
TEST_F(Soak, RunAfterRunLeavesNoDescriptorsChildrenOrMemoryBehind) {
    fs::create_directories(Folder / "src");
    fs::create_directories(Folder / "out");
    const std::string wav = MakeWav("src/a.wav", 0.5), flac = MakeFlac("src/b.flac", 0.5);
    const std::string mp3 = (Folder / "src/c.mp3").string(), ape = (Folder / "src/d.ape").string();
    const std::string mp3Source = MakeWav("c.source.wav", 0.5);
    ASSERT_EQ(tooltest::RunTool({tooltest::Tool("lame"), "--quiet", mp3Source, mp3}).ExitCode, 0);
    fs::copy_file(tooltest::TestData("ape/mac-399.ape"), ape);
    const TFiles sources = Contents(Folder / "src");

    std::mt19937 random(20240611);
    std::size_t descriptors = 0, children = 0;
    long resident = 0;
    int aborted = 0;
    for (int run = 0; run < WarmUpRuns + Runs; ++run) {
        if (run == WarmUpRuns) {
            descriptors = OpenDescriptors();
            children = ChildProcesses();
            resident = ResidentKiB();
        }
        SCOPED_TRACE(run);
        const int mode = run % 5;
        Check("chbxVerify", mode == 4);
        Check(mode < 2 ? "rdgrpConvertItem0" : "rdgrpConvertItem1");
        Check(mode % 2 == 0 ? "rdbtnSource" : "rdbtnSelect");
        Dialogs.Shown.clear();
        Dialogs.SaveAnswer =
            TSaveChoice{QString::fromStdString((Folder / "out/mix").string()), 1 + run % 2};
        Drop({wav, flac, mp3, ape});
        QTimer abort;
        abort.setSingleShot(true);
        QObject::connect(&abort, &QTimer::timeout, Find<QPushButton>("btnAbort"),
                         &QPushButton::click);
        if (random() % 3 == 0) {
            abort.start(static_cast<int>(random() % 1500));
            ++aborted;
        }
        Find<QPushButton>("btnConvert")->click();
        abort.stop();
        ExpectIdle();
        ASSERT_TRUE(NoTemporaryFiles());
        for (const auto& kept : Contents(Folder / "src"))
            if (!sources.count(kept.first))
                fs::remove(Folder / "src" / kept.first);
        fs::remove_all(Folder / "out");
        fs::create_directories(Folder / "out");
        ASSERT_EQ(Contents(Folder / "src"), sources);
    }
    std::cout << "after " << Runs << " runs (" << aborted << " with an abort): descriptors "
              << descriptors << " -> " << OpenDescriptors() << ", children " << children << " -> "
              << ChildProcesses() << ", resident KiB " << resident << " -> " << ResidentKiB()
              << "\n";
    EXPECT_LE(OpenDescriptors(), descriptors + DescriptorSlack);
    EXPECT_LE(ChildProcesses(), children);
    EXPECT_LE(ResidentKiB(), resident + MemorySlackKiB);
}
