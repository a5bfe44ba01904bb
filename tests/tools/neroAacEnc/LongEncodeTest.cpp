#include "SparseWav.h"
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

using namespace tooltest;

// An hour of 7.1 at 96 kHz in 24 bits is 8.3 GB of samples; with the workers reading their own
// segments, -threads 64 stays under half a gigabyte, and the stream is whole.
TEST(LongEncode, AnHourOfSevenPointOneAt96kHzOn64ThreadsStaysUnderHalfAGigabyte) {
    TScopedFolder dir;
    const auto wav = dir / "hour 7.1.wav";
    const std::uint64_t frames = std::uint64_t{3600} * 96000;
    WriteSparseWav(wav, 8, 96000, frames);
    const auto out = dir / "hour.m4a";
    const auto peak = dir / "peak";
    TRunOptions slow;
    slow.TimeoutMs = 3600 * 1000;
    auto r = RunTool({"/usr/bin/time", "-f", "%M", "-o", peak.string(), Tool("neroAacEnc"),
                      "-threads", "64", "-if", wav.string(), "-of", out.string()},
                     slow);
    ASSERT_EQ(r.ExitCode, 0) << r.Err.substr(0, 2000);
    EXPECT_LT(std::stol(ReadFile(peak)), 512L * 1024) << "kB at most";
    EXPECT_EQ(Probe(out, "stream=duration_ts")["duration_ts"], std::to_string(frames));
}
