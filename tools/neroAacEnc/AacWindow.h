#pragma once

#include <cstddef>
#include <cstdint>

// The window sequence of a raw AAC frame, read from the ics_info of its first channel element.
// A decoder does not reject a sequence that does not follow from the previous one; it plays it
// with uncancelled aliasing, a click. So every splice of separately encoded frames is checked.
class TAacWindow {
public:
    enum class TSequence { OnlyLong = 0, LongStart = 1, EightShort = 2, LongStop = 3 };

    // False when the frame holds no channel element before the end, or an element this reader
    // cannot step over.
    static bool Read(const std::uint8_t* data, std::size_t size, TSequence& sequence);
    // Whether next may follow previous: a long window's overlap must meet a long one, a short
    // one's a short one.
    static bool Follows(TSequence previous, TSequence next);
};
