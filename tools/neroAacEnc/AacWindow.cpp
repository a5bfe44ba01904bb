#include "AacWindow.h"

namespace {

enum TElement { Sce = 0, Cpe = 1, Cce = 2, Lfe = 3, Dse = 4, Pce = 5, Fil = 6, End = 7 };

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

private:
    const std::uint8_t* Data;
    std::size_t Size;
    std::size_t Pos = 0;
};

} // namespace

bool TAacWindow::Read(const std::uint8_t* data, std::size_t size, TSequence& sequence) {
    TBits bits(data, size);
    unsigned id = 0, value = 0;
    while (bits.Get(3, id)) {
        switch (id) {
        case Sce:
        case Lfe:
            // element_instance_tag, global_gain, ics_reserved_bit
            if (!bits.Skip(4 + 8 + 1) || !bits.Get(2, value))
                return false;
            sequence = static_cast<TSequence>(value);
            return true;
        case Cpe: {
            unsigned common = 0;
            if (!bits.Skip(4) || !bits.Get(1, common))
                return false;
            // With a common window ics_info follows at once, otherwise after the first global_gain.
            if (!bits.Skip(common ? 1 : 8 + 1) || !bits.Get(2, value))
                return false;
            sequence = static_cast<TSequence>(value);
            return true;
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
