#include "EncoderOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

namespace {

// The quality line: 128 kbit/s at 0.37 and 320 kbit/s at 0.75 for stereo.
constexpr double LowQuality = 0.37;
constexpr double LowStereoBitrate = 128000;
constexpr double HighQuality = 0.75;
constexpr double HighStereoBitrate = 320000;
constexpr long MinBitratePerChannel = 8000;
// AAC frames carry at most 6144 bits per channel, 1024 samples each.
constexpr long MaxBitsPerChannelFrame = 6144;
constexpr long MaxThreads = 1024;

bool ParseNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// "FIRST:END" or "FIRST:" in samples.
bool ParsePositive(const std::string& text, long& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value > 0;
}

} // namespace

const char* TEncoderOptions::HelpText() {
    return "Usage: neroAacEnc [-cbr BPS | -br BPS | -q Q] -if IN.wav [-if IN.wav ...] -of OUT.m4a\n"
           "\n"
           "Encodes WAV files into one AAC-LC stream in an MP4 file (.m4a and .mp4 alike).\n"
           "Several inputs are joined without a gap, each starting a chapter \"Chapter k\".\n"
           "\n"
           "  -cbr BPS  bitrate in bits per second, held by the encoder as an average\n"
           "  -br BPS   bitrate in bits per second, the same average-bitrate mode\n"
           "  -q Q      quality 0.0 to 1.0 (the default is -q 0.5), mapped onto an average\n"
           "            bitrate: for stereo 128 kbit/s at 0.37 and 320 kbit/s at 0.75, on the\n"
           "            straight line through these (0.25 gives 67 kbit/s, 0.5 gives 194 kbit/s,\n"
           "            1.0 gives 446 kbit/s), scaled by channels/2\n"
           "  -if FILE  an input WAV: PCM 8/16/24/32-bit or IEEE float 32/64-bit, plain or\n"
           "            WAVE_FORMAT_EXTENSIBLE; all inputs share sample rate and channel count\n"
           "  -range FIRST:END  read only samples FIRST up to, not including, END of the next\n"
           "            input (FIRST: to its end); its chapter starts at FIRST\n"
           "  -await FILE  take the inputs from FILE as another program lists them there, one\n"
           "            line each as it is complete: FIRST:END, FIRST: or nothing, a tab and\n"
           "            the path; the encode begins as soon as the first inputs are there\n"
           "  -expect COUNT:SAMPLES  with -await: how many inputs are to come and about how\n"
           "            many samples they hold in all; the stream is cut for these, so the\n"
           "            output is the same however fast the inputs arrive\n"
           "  -of FILE  the output; an existing file is never replaced\n"
           "  -threads N  encode on N threads; the default is the processors this process\n"
           "            may run on, capped by a cgroup CPU quota. The stream is cut into\n"
           "            segments for the N threads, so the output is a function of the\n"
           "            inputs, the options and N alone: the same bytes on every machine\n"
           "            for the same -threads N, other bytes (as good) for another N\n"
           "  -lc       accepted for compatibility: AAC-LC is the only profile\n"
           "  -timing   after the encode, a line \"Timing: wall=S busy=S,S,... cpu=S,S,...\n"
           "            segments=K starts=0,N,...\": the encode's seconds, each thread's\n"
           "            seconds at work and the processor time it was given, and the first\n"
           "            sample of each segment\n"
           "  --help    this text\n"
           "\n"
           "Every bitrate is held within 8 kbit/s per channel and the AAC limit of 6144 bits\n"
           "per channel and frame (264.6 kbit/s per channel at 44.1 kHz).\n"
           "\n"
           "Exit status: 0 encoded, 1 failed, 2 wrong command line.\n";
}

bool TEncoderOptions::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

bool TEncoderOptions::Parse(const std::vector<std::string>& args) {
    bool modeGiven = false;
    // The part of the next input a -range asked for.
    std::optional<TInputFile> range;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-help" || arg == "-h") {
            Help = true;
            return true;
        }
        if (arg == "-lc")
            continue;
        if (arg == "-timing") {
            ShowTiming = true;
            continue;
        }
        const bool takesValue = arg == "-cbr" || arg == "-br" || arg == "-q" || arg == "-if" ||
                                arg == "-of" || arg == "-threads" || arg == "-range" ||
                                arg == "-await" || arg == "-expect";
        if (!takesValue)
            return Fail("unknown option " + arg);
        if (i + 1 >= args.size())
            return Fail(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "-if") {
            TInputFile file = range.value_or(TInputFile{});
            file.Path = value;
            Inputs.push_back(file);
            range.reset();
        } else if (arg == "-range") {
            TInputFile file;
            if (range || !TInputFile::ParseRange(value, file))
                return Fail("-range takes FIRST:END or FIRST: in samples, once before an -if, "
                            "not " +
                            value);
            range = file;
        } else if (arg == "-await") {
            AwaitList = value;
        } else if (arg == "-expect") {
            const std::size_t colon = value.find(':');
            long count = 0, samples = 0;
            if (colon == std::string::npos || !ParsePositive(value.substr(0, colon), count) ||
                !ParsePositive(value.substr(colon + 1), samples))
                return Fail("-expect takes COUNT:SAMPLES, two positive numbers, not " + value);
            AwaitCount = static_cast<std::size_t>(count);
            ExpectedFrames = samples;
        } else if (arg == "-threads") {
            long threads = 0;
            if (!ParsePositive(value, threads) || threads > MaxThreads)
                return Fail("-threads takes a number from 1 to " + std::to_string(MaxThreads) +
                            ", not " + value);
            Threads = static_cast<int>(threads);
        } else if (arg == "-of") {
            if (!Output.empty())
                return Fail("only one -of is allowed");
            Output = value;
        } else {
            if (modeGiven)
                return Fail("choose one of -cbr, -br and -q");
            modeGiven = true;
            if (arg == "-q") {
                Mode = TMode::Quality;
                if (!ParseNumber(value, Quality) || Quality < 0 || Quality > 1)
                    return Fail("-q takes a quality from 0.0 to 1.0, not " + value);
            } else {
                Mode = arg == "-cbr" ? TMode::ConstantBitrate : TMode::AverageBitrate;
                if (!ParsePositive(value, Bitrate))
                    return Fail(arg + " takes a bitrate in bits per second, not " + value);
            }
        }
    }
    if (range)
        return Fail("-range must come before the -if it applies to");
    if (AwaitList.empty() != (AwaitCount == 0))
        return Fail("-await and -expect go together");
    if (!AwaitList.empty() && !Inputs.empty())
        return Fail("the inputs come either from -if or from -await");
    if (Inputs.empty() && AwaitList.empty())
        return Fail("no input (-if) given");
    if (Output.empty())
        return Fail("no output (-of) given");
    return true;
}

long TEncoderOptions::TargetBitrate(int channels, int sampleRate) const {
    double perChannel = 0;
    if (Mode == TMode::Quality) {
        const double slope = (HighStereoBitrate - LowStereoBitrate) / (HighQuality - LowQuality);
        perChannel = (LowStereoBitrate + (Quality - LowQuality) * slope) / 2;
    } else {
        perChannel = static_cast<double>(Bitrate) / channels;
    }
    const double maxPerChannel = MaxBitsPerChannelFrame * static_cast<double>(sampleRate) / 1024;
    perChannel = std::clamp(perChannel, static_cast<double>(MinBitratePerChannel), maxPerChannel);
    return std::lround(perChannel * channels);
}

std::string TEncoderOptions::Describe(int channels, int sampleRate) const {
    const std::string rate = std::to_string(TargetBitrate(channels, sampleRate)) + " bit/s";
    switch (Mode) {
    case TMode::ConstantBitrate:
        return "constant bitrate (-cbr), " + rate;
    case TMode::AverageBitrate:
        return "average bitrate (-br), " + rate;
    default:
        break;
    }
    const long hundredths = std::lround(Quality * 100);
    return "quality " + std::to_string(hundredths / 100) + "." +
           (hundredths % 100 < 10 ? "0" : "") + std::to_string(hundredths % 100) +
           " (-q), average " + rate;
}
