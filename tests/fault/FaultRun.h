#pragma once

#include "FakeTools.h"
#include "app/WindowTest.h"
#include "platform/MessagePump.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <map>

// A window over a scratch folder whose runs go through the real event loop, as in the program,
// with helpers that run one source through the job or the window and check what is left behind.
class TFaultRun : public TWindowTest {
protected:
    using TFiles = std::map<std::string, std::string>;

    void SetUp() override {
        TWindowTest::SetUp();
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
    }
    void TearDown() override {
        platform::SetMessagePump(nullptr);
        faulttest::PlayFault("", faulttest::TFault::None);
        TWindowTest::TearDown();
    }

    // Every file below the folder with its size and a hash of its bytes.
    static TFiles Contents(const std::filesystem::path& folder) {
        TFiles files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file())
                continue;
            const std::string bytes = tooltest::ReadFile(entry.path());
            files[std::filesystem::relative(entry.path(), folder).string()] =
                std::to_string(bytes.size()) + ":" +
                std::to_string(std::hash<std::string>{}(bytes));
        }
        return files;
    }
    static bool AnyText(const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            if (line.find_first_not_of(' ') != std::string::npos)
                return true;
        return false;
    }

    // A one-second source of the kind the tool decodes (a WAV for the encoder and the tagger),
    // in a new folder that also holds a file under the output's first name.
    std::string MakeSource(const std::string& tool, const std::string& folder) {
        std::filesystem::create_directories(Folder / folder);
        tooltest::WriteFile(Folder / folder / "song.mp4", "taken");
        if (tool == "mac") {
            const auto ape = Folder / folder / "song.ape";
            std::filesystem::copy_file(tooltest::TestData("ape/mac-399.ape"), ape);
            return ape.string();
        }
        if (tool == "flac" || tool == "metaflac")
            return MakeFlac(folder + "/song.flac", 1);
        if (tool == "lame") {
            const std::string wav = MakeWav(folder + "/song.source.wav", 1);
            const std::string mp3 = (Folder / folder / "song.mp3").string();
            const auto r = tooltest::RunTool({tooltest::Tool("lame"), "--quiet", wav, mp3});
            EXPECT_EQ(r.ExitCode, 0) << r.Err;
            std::filesystem::remove(wav);
            return mp3;
        }
        return MakeWav(folder + "/song.wav", 1);
    }

    // Converts the source through the job alone, next to it; true when it says it converted.
    bool ThroughJob(const std::string& source) {
        TMP4 job;
        job.OutputExt = ".mp4";
        job.SetEncoderOption("-cbr 128000");
        EXPECT_TRUE(job.AddSrcFile(source));
        const bool converted = job.DoConvert(false, false);
        if (!converted) {
            EXPECT_TRUE(AnyText(job.ErrorLines)) << "a failure the job gives no reason for";
        }
        return converted;
    }

    // Drops the source and converts it next to itself; true when the window reports no error.
    bool ThroughWindow(const std::string& source) {
        Dialogs.Shown.clear();
        Drop({source});
        EXPECT_EQ(CueRows().size(), 1);
        Check("rdgrpConvertItem1");
        Check("rdbtnSource");
        Dialogs.SaveAnswer = TSaveChoice{"ignored", 1};
        Find<QPushButton>("btnConvert")->click();
        ExpectIdle();
        const bool converted = Errors().empty();
        if (!converted) {
            EXPECT_FALSE(Find<QPlainTextEdit>("memError")->toPlainText().trimmed().isEmpty())
                << "a failure the Error List gives no reason for";
        }
        return converted;
    }

    void ExpectIdle() {
        EXPECT_FALSE(Inside(*Form).Busy);
        EXPECT_FALSE(Find<QWidget>("btnAbort")->isEnabled());
        EXPECT_TRUE(Find<QWidget>("chbxVerify")->isEnabled());
        EXPECT_TRUE(CueRows().isEmpty());
    }

    // The run of a source of the tool's kind, through the job and then through the window, with
    // the tool playing the fault: the outcome is as expected, nothing that was there changed, no
    // temporary file is left, and a converted file takes the next free name.
    void ExpectOutcome(const std::string& tool, faulttest::TFault fault, bool converts) {
        for (const bool window : {false, true}) {
            const std::string folder = tool + "-" + std::to_string(static_cast<int>(fault)) +
                                       (window ? "-window" : "-job");
            SCOPED_TRACE(folder);
            const std::string source = MakeSource(tool, folder);
            const TFiles before = Contents(Folder / folder);
            faulttest::PlayFault(tool, fault);
            const bool converted = window ? ThroughWindow(source) : ThroughJob(source);
            faulttest::PlayFault(tool, faulttest::TFault::None);
            EXPECT_EQ(converted, converts);
            EXPECT_TRUE(NoTemporaryFiles());
            TFiles after = Contents(Folder / folder);
            if (converts) {
                const auto format = tooltest::Probe(Folder / folder / "song-1.mp4", "format");
                EXPECT_GT(std::stod(format.count("duration") ? format.at("duration") : "0"), 0.9);
                after.erase("song-1.mp4");
            }
            EXPECT_EQ(after, before);
        }
    }
};
