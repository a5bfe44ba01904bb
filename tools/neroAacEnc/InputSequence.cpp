#include "InputSequence.h"

#include "common/ToolText.h"
#include "common/WavReader.h"

TInputSequence::TInputSequence(std::vector<TInputFile> files) : Files(std::move(files)) {}

bool TInputSequence::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

std::string TInputSequence::Which(std::size_t index) const {
    return "input " + std::to_string(index + 1) + " (" +
           tooltext::ShortPath(Files[index].Path, 100) + ")";
}

bool TInputSequence::Scan() {
    for (std::size_t i = 0; i < Files.size(); ++i) {
        TWavReader reader;
        if (!reader.Open(Files[i].Path))
            return Fail(Which(i) + ": " + reader.Error());
        const auto& fmt = reader.Format();
        if (i > 0 && (fmt.Channels != Channels() || fmt.SampleRate != SampleRate()))
            return Fail(Which(i) + " has " + std::to_string(fmt.SampleRate) + " Hz and " +
                        std::to_string(fmt.Channels) + " channels, input 1 has " +
                        std::to_string(SampleRate()) + " Hz and " + std::to_string(Channels()) +
                        "; all inputs must match");
        const TInputFile& file = Files[i];
        const std::uint64_t end = file.End.value_or(reader.Frames());
        if (file.First > end || end > reader.Frames())
            return Fail(Which(i) + " holds " + std::to_string(reader.Frames()) +
                        " samples; the part asked for, " + std::to_string(file.First) + " to " +
                        std::to_string(end) + ", is not within them");
        List.push_back({file.Path, fmt, file.First, Total, end - file.First});
        Total += end - file.First;
    }
    return true;
}
