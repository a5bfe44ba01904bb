#include "AacWindow.h"

#include "AacTables.h"

#include <array>
#include <span>
#include <unordered_map>

namespace {

enum TElement { Sce = 0, Cpe = 1, Cce = 2, Lfe = 3, Dse = 4, Pce = 5, Fil = 6, End = 7 };
enum TBook { ZeroBook = 0, EscBook = 11, NoiseBook = 13, IntensityBook2 = 14, IntensityBook = 15 };

class TBits {
public:
    TBits(const std::uint8_t* data, std::size_t size) : Data(data), Size(size * 8) {}

    bool Get(unsigned count, unsigned& value) {
        if (Pos + count > Size)
            return false;
        value = 0;
        for (unsigned i = 0; i < count; ++i, ++Pos)
            value = (value << 1) | ((Data[Pos / 8] >> (7 - Pos % 8)) & 1u);
        return true;
    }
    bool Skip(std::size_t count) {
        if (Pos + count > Size)
            return false;
        Pos += count;
        return true;
    }
    void Align() { Pos = (Pos + 7) / 8 * 8; }
    std::size_t Left() const { return Size - Pos; }

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t Pos = 0;
};

// A codebook looked up by length and bits; the longest AAC codeword has 19 bits.
class TCodebook {
public:
    explicit TCodebook(std::span<const TAacCode> codes) {
        for (std::size_t i = 0; i < codes.size(); ++i)
            Index.emplace(Key(codes[i].Length, codes[i].Code), static_cast<int>(i));
    }
    // The index of the next codeword, or -1 when the bits hold none.
    int Next(TBits& bits) const {
        unsigned code = 0, bit = 0;
        for (unsigned length = 1; length <= 19; ++length) {
            if (!bits.Get(1, bit))
                return -1;
            code = code << 1 | bit;
            const auto found = Index.find(Key(length, code));
            if (found != Index.end())
                return found->second;
        }
        return -1;
    }

private:
    static std::uint32_t Key(unsigned length, unsigned code) { return length << 24 | code; }
    std::unordered_map<std::uint32_t, int> Index;
};

const TCodebook& ScaleFactorBook() {
    static const TCodebook book(TAacTables::ScaleFactor());
    return book;
}

const TCodebook& SpectralBook(int number) {
    static const auto books = [] {
        std::vector<TCodebook> all;
        for (int b = 1; b <= 11; ++b)
            all.emplace_back(TAacTables::Spectral(b));
        return all;
    }();
    return books[static_cast<std::size_t>(number - 1)];
}

// What ics_info says, and what the channel's data that follows depends on.
struct TIcsInfo {
    TAacWindow::TChannel Window;
    unsigned MaxSfb = 0;
    int Windows = 1;
    std::vector<int> GroupLength{1};
    std::span<const std::uint16_t> Bands;
    bool Short() const { return Window.Sequence == TAacWindow::TSequence::EightShort; }
};

bool ReadIcsInfo(TBits& bits, int sampleRate, TIcsInfo& info) {
    unsigned reserved = 0, sequence = 0, shape = 0;
    if (!bits.Get(1, reserved) || !bits.Get(2, sequence) || !bits.Get(1, shape))
        return false;
    info.Window = {static_cast<TAacWindow::TSequence>(sequence), static_cast<int>(shape)};
    if (info.Short()) {
        unsigned grouping = 0;
        if (!bits.Get(4, info.MaxSfb) || !bits.Get(7, grouping))
            return false;
        info.Windows = 8;
        info.GroupLength = {1};
        for (int w = 6; w >= 0; --w) {
            if (grouping >> w & 1u)
                ++info.GroupLength.back();
            else
                info.GroupLength.push_back(1);
        }
        info.Bands = TAacTables::ShortBands(sampleRate);
    } else {
        unsigned prediction = 0;
        if (!bits.Get(6, info.MaxSfb) || !bits.Get(1, prediction) || prediction)
            return false; // prediction is the Main profile's
        info.Windows = 1;
        info.GroupLength = {1};
        info.Bands = TAacTables::LongBands(sampleRate);
    }
    return info.MaxSfb < info.Bands.size();
}

bool SkipSpectralPair(TBits& bits, int book) {
    // Books 1, 2, 5 and 6 carry signed values; the others a sign bit per value that is not 0.
    constexpr std::array<int, 12> dims{0, 4, 4, 4, 4, 2, 2, 2, 2, 2, 2, 2};
    constexpr std::array<int, 12> mods{0, 3, 3, 3, 3, 9, 9, 8, 8, 13, 13, 17};
    const bool unsignedBook = book == 3 || book == 4 || book >= 7;
    int index = SpectralBook(book).Next(bits);
    if (index < 0)
        return false;
    const auto b = static_cast<std::size_t>(book);
    std::array<int, 4> values{};
    for (int d = dims[b] - 1; d >= 0; --d) {
        values[static_cast<std::size_t>(d)] = index % mods[b];
        index /= mods[b];
    }
    if (unsignedBook)
        for (int d = 0; d < dims[b]; ++d)
            if (values[static_cast<std::size_t>(d)] != 0 && !bits.Skip(1))
                return false;
    if (book == EscBook)
        for (int d = 0; d < 2; ++d) {
            if (values[static_cast<std::size_t>(d)] != 16)
                continue;
            // An escape: as many 1 bits as the value has bits beyond four, a 0, the value.
            unsigned ones = 0, bit = 0;
            for (;;) {
                if (!bits.Get(1, bit))
                    return false;
                if (!bit)
                    break;
                if (++ones > 8)
                    return false;
            }
            if (!bits.Skip(ones + 4))
                return false;
        }
    return true;
}

// Everything of individual_channel_stream after ics_info, up to the next channel's data.
bool SkipChannelData(TBits& bits, const TIcsInfo& info) {
    const std::size_t groups = info.GroupLength.size();
    std::vector<std::vector<unsigned>> books(groups, std::vector<unsigned>(info.MaxSfb, 0));
    const unsigned lengthBits = info.Short() ? 3 : 5;
    const unsigned escape = (1u << lengthBits) - 1;
    for (std::size_t g = 0; g < groups; ++g)
        for (unsigned k = 0; k < info.MaxSfb;) {
            unsigned book = 0, length = 0, step = 0;
            if (!bits.Get(4, book) || book == 12)
                return false;
            do {
                if (!bits.Get(lengthBits, step))
                    return false;
                length += step;
            } while (step == escape);
            if (length == 0 || k + length > info.MaxSfb)
                return false;
            for (unsigned end = k + length; k < end; ++k)
                books[g][k] = book;
        }

    bool firstNoise = true;
    for (std::size_t g = 0; g < groups; ++g)
        for (unsigned k = 0; k < info.MaxSfb; ++k) {
            const unsigned book = books[g][k];
            if (book == ZeroBook)
                continue;
            if (book == NoiseBook && firstNoise) {
                firstNoise = false;
                if (!bits.Skip(9))
                    return false;
            } else if (ScaleFactorBook().Next(bits) < 0) {
                return false;
            }
        }

    unsigned present = 0;
    if (!bits.Get(1, present))
        return false;
    if (present) { // pulse data: count, start band, then offset and amplitude of each
        unsigned count = 0;
        if (info.Short() || !bits.Get(2, count) || !bits.Skip(6 + (count + 1) * 9))
            return false;
    }
    if (!bits.Get(1, present))
        return false;
    if (present) {
        for (int w = 0; w < info.Windows; ++w) {
            unsigned filters = 0, resolution = 0;
            if (!bits.Get(info.Short() ? 1 : 2, filters))
                return false;
            if (filters && !bits.Get(1, resolution))
                return false;
            for (unsigned f = 0; f < filters; ++f) {
                unsigned order = 0, direction = 0, compress = 0;
                if (!bits.Skip(info.Short() ? 4 : 6) || !bits.Get(info.Short() ? 3 : 5, order))
                    return false;
                if (order && (!bits.Get(1, direction) || !bits.Get(1, compress) ||
                              !bits.Skip(order * (3 + resolution - compress))))
                    return false;
            }
        }
    }
    if (!bits.Get(1, present) || present)
        return false; // gain control is the SSR profile's

    for (std::size_t g = 0; g < groups; ++g)
        for (unsigned k = 0; k < info.MaxSfb; ++k) {
            const unsigned book = books[g][k];
            if (book == ZeroBook || book >= NoiseBook)
                continue;
            const int lines = (info.Bands[k + 1] - info.Bands[k]) * info.GroupLength[g];
            const int step = book < 5 ? 4 : 2;
            for (int i = 0; i < lines; i += step)
                if (!SkipSpectralPair(bits, static_cast<int>(book)))
                    return false;
        }
    return true;
}

} // namespace

bool TAacWindow::Read(const std::uint8_t* data, std::size_t size, int sampleRate,
                      std::vector<TChannel>& channels) {
    channels.clear();
    TBits bits(data, size);
    unsigned id = 0, value = 0;
    while (bits.Get(3, id)) {
        switch (id) {
        case Sce:
        case Lfe: {
            TIcsInfo info;
            if (!bits.Skip(4 + 8) || !ReadIcsInfo(bits, sampleRate, info) ||
                !SkipChannelData(bits, info))
                return false;
            channels.push_back(info.Window);
            break;
        }
        case Cpe: {
            unsigned common = 0;
            if (!bits.Skip(4) || !bits.Get(1, common))
                return false;
            TIcsInfo info;
            if (common) {
                if (!ReadIcsInfo(bits, sampleRate, info) || !bits.Get(2, value) || value == 3)
                    return false;
                if (value == 1) // a mid/side flag per band and group
                    if (!bits.Skip(info.MaxSfb * info.GroupLength.size()))
                        return false;
            }
            for (int c = 0; c < 2; ++c) {
                if (!bits.Skip(8) || (!common && !ReadIcsInfo(bits, sampleRate, info)) ||
                    !SkipChannelData(bits, info))
                    return false;
                channels.push_back(info.Window);
            }
            break;
        }
        case Dse: {
            unsigned align = 0, count = 0, extra = 0;
            if (!bits.Skip(4) || !bits.Get(1, align) || !bits.Get(8, count))
                return false;
            if (count == 255 && !bits.Get(8, extra))
                return false;
            if (align)
                bits.Align();
            if (!bits.Skip((count + extra) * 8))
                return false;
            break;
        }
        case Fil: {
            unsigned count = 0, extra = 0;
            if (!bits.Get(4, count))
                return false;
            if (count == 15) {
                if (!bits.Get(8, extra))
                    return false;
                count += extra - 1;
            }
            if (!bits.Skip(count * 8))
                return false;
            break;
        }
        case End:
            // Only the padding to the next byte may follow.
            return !channels.empty() && bits.Left() < 8;
        default: // coupling channels and program configs are not written by this encoder
            return false;
        }
    }
    return false;
}

bool TAacWindow::Follows(TSequence previous, TSequence next) {
    const bool longOverlap = previous == TSequence::OnlyLong || previous == TSequence::LongStop;
    if (longOverlap)
        return next == TSequence::OnlyLong || next == TSequence::LongStart;
    return next == TSequence::EightShort || next == TSequence::LongStop;
}

bool TAacWindow::Joins(const std::vector<TChannel>& previous, const std::vector<TChannel>& next) {
    if (previous.size() != next.size() || next.empty())
        return false;
    for (std::size_t c = 0; c < next.size(); ++c)
        if (!Follows(previous[c].Sequence, next[c].Sequence))
            return false;
    return true;
}

bool TAacWindow::Replaces(const std::vector<TChannel>& previous, const std::vector<TChannel>& lead,
                          const std::vector<TChannel>& next) {
    if (!Joins(previous, next) || lead.size() != previous.size())
        return false;
    for (std::size_t c = 0; c < lead.size(); ++c)
        if (previous[c].Shape != lead[c].Shape)
            return false;
    return true;
}
