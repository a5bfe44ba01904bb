#include "InputSequence.h"

#include "common/ToolText.h"
#include "common/WavReader.h"

#include <charconv>
#include <fstream>
#include <iterator>

bool TInputFile::ParseRange(const std::string& text, TInputFile& file) {
    const char* end = text.data() + text.size();
    auto [colon, ec] = std::from_chars(text.data(), end, file.First);
    if (ec != std::errc() || colon == end || *colon != ':')
        return false;
    if (colon + 1 == end) {
        file.End.reset();
        return true;
    }
    std::uint64_t last = 0;
    auto [ptr, ec2] = std::from_chars(colon + 1, end, last);
    if (ec2 != std::errc() || ptr != end || last < file.First)
        return false;
    file.End = last;
    return true;
}

TInputSequence::TInputSequence(std::vector<TInputFile> files)
    : Files(std::move(files)), List(Files.size()) {}

TInputSequence::TInputSequence(std::string listFile, std::size_t count)
    : ListFile(std::move(listFile)), List(count) {}

bool TInputSequence::Fail(const std::string& reason) {
    Err = reason;
    return false;
}

std::string TInputSequence::Which(std::size_t index) const {
    // The workers name only inputs arrived; the list grows on this thread alone.
    const std::string& path = index < Inputs().size() ? List[index].Path : Files[index].Path;
    return "input " + std::to_string(index + 1) + " (" + tooltext::ShortPath(path, 100) + ")";
}

std::uint64_t TInputSequence::TotalFrames() const {
    const auto arrived = Inputs();
    return arrived.empty() ? 0 : arrived.back().Start + arrived.back().Frames;
}

bool TInputSequence::ReadList() {
    std::ifstream in(ListFile, std::ios::binary);
    if (!in)
        return Fail("cannot read the list of inputs " + tooltext::ShortPath(ListFile));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Only whole lines: the last may still be being written.
    std::size_t line = 0;
    for (std::size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos;
         from = end + 1, ++line) {
        if (line < Files.size())
            continue;
        if (Files.size() == List.size())
            return Fail(tooltext::ShortPath(ListFile) + " lists more than " +
                        std::to_string(List.size()) + " inputs");
        const std::string entry = text.substr(from, end - from);
        const std::size_t tab = entry.find('\t');
        TInputFile file;
        if (tab == std::string::npos || tab + 1 == entry.size() ||
            (tab > 0 && !TInputFile::ParseRange(entry.substr(0, tab), file)))
            return Fail("line " + std::to_string(line + 1) + " of " +
                        tooltext::ShortPath(ListFile) + " is not a range, a tab and a path");
        file.Path = entry.substr(tab + 1);
        Files.push_back(file);
    }
    return true;
}

bool TInputSequence::Scan() {
    if (!ListFile.empty() && !ReadList())
        return false;
    for (std::size_t i = Arrived.load(std::memory_order_relaxed); i < Files.size(); ++i) {
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
        List[i] = {file.Path, fmt, file.First, TotalFrames(), end - file.First};
        Arrived.store(i + 1, std::memory_order_release);
    }
    return true;
}
