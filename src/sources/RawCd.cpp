#include "sources/RawCd.h"

#include "platform/Files.h"

#include <array>
#include <fstream>
#include <vector>

namespace {

constexpr std::uint32_t RawRate = 44100;
constexpr std::uint16_t RawChannels = 2;
constexpr std::uint16_t RawBlockAlign = 4;
// A WAV's sizes are 32-bit.
constexpr std::uint64_t MaxDataBytes = 0xFFFFFFFFu - 36;

void Put(std::array<char, 44>& header, std::size_t at, std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k)
        header[at + static_cast<std::size_t>(k)] = static_cast<char>((value >> (8 * k)) & 0xFF);
}

std::array<char, 44> WavHeader(std::uint32_t dataBytes) {
    std::array<char, 44> header{};
    const std::string_view tags = "RIFF____WAVEfmt ";
    std::copy(tags.begin(), tags.end(), header.begin());
    Put(header, 4, 36 + dataBytes, 4);
    Put(header, 16, 16, 4);
    Put(header, 20, 1, 2);
    Put(header, 22, RawChannels, 2);
    Put(header, 24, RawRate, 4);
    Put(header, 28, RawRate * RawBlockAlign, 4);
    Put(header, 32, RawBlockAlign, 2);
    Put(header, 34, 16, 2);
    std::copy_n("data", 4, header.begin() + 36);
    Put(header, 40, dataBytes, 4);
    return header;
}

} // namespace

TRawCd::TRawCd(bool bigEndian) : BigEndian(bigEndian) {
    Kind = KindRawCd;
}

bool TRawCd::AcceptsFile(const std::string& /*fileName*/) {
    return true;
}

std::optional<TPcmSize> TRawCd::PcmSize() {
    const std::int64_t size = platform::FileSize(SrcFile);
    if (size < 0)
        return std::nullopt;
    return TPcmSize{RawRate, RawChannels, 2, static_cast<std::uint64_t>(size) / RawBlockAlign};
}

bool TRawCd::Decode() {
    MakeWavName();
    if (WavFile.empty())
        return false;
    const std::int64_t size = platform::FileSize(SrcFile);
    const std::uint64_t dataBytes =
        size < 0 ? 0 : static_cast<std::uint64_t>(size) / RawBlockAlign * RawBlockAlign;
    std::ifstream in(SrcFile, std::ios::binary);
    std::ofstream out(WavFile, std::ios::binary | std::ios::trunc);
    if (!in || !out || dataBytes == 0 || dataBytes > MaxDataBytes) {
        Failed = true;
        ErrorLines = {"The raw CD image " + SrcFile +
                      (dataBytes > MaxDataBytes ? " is too large for a WAV."
                                                : " could not be read or holds no samples.")};
        return false;
    }
    const std::array<char, 44> header = WavHeader(static_cast<std::uint32_t>(dataBytes));
    out.write(header.data(), header.size());
    std::vector<char> buffer(std::size_t{1} << 20);
    std::uint64_t left = dataBytes;
    while (left > 0 && in && out) {
        if (Cons.Abort && Cons.Abort->Requested())
            return false;
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        in.read(buffer.data(), static_cast<std::streamsize>(chunk));
        if (static_cast<std::size_t>(in.gcount()) != chunk)
            break;
        if (BigEndian)
            for (std::size_t i = 0; i + 1 < chunk; i += 2)
                std::swap(buffer[i], buffer[i + 1]);
        out.write(buffer.data(), static_cast<std::streamsize>(chunk));
        left -= chunk;
        Percent = static_cast<int>((dataBytes - left) * 100 / dataBytes);
        if (OnProgress)
            OnProgress(*this);
    }
    out.close();
    if (left > 0 || !out) {
        Failed = true;
        ErrorLines = {"The raw CD image " + SrcFile + " could not be copied into " + WavFile + "."};
        return false;
    }
    return true;
}

void TRawCd::CollectTags() {
    if (!NameAsTitle)
        return;
    Title = FileTitle();
    TagValue(TTagField::Title) = Title;
    MetaArgs.push_back(MetaArg("Title", Title));
}
