#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The windows of a raw AAC-LC frame, one per channel in the order of its elements. A decoder
// does not reject a window that does not follow from the one before; it plays it with
// uncancelled aliasing, a click. So every splice of separately encoded frames is checked, in
// every channel: the two channels of a pair may have windows of their own.
class TAacWindow {
public:
    enum class TSequence { OnlyLong = 0, LongStart = 1, EightShort = 2, LongStop = 3 };
    struct TChannel {
        TSequence Sequence = TSequence::OnlyLong;
        // Sine (0) or Kaiser-Bessel (1): the next frame's first half is shaped by it too.
        int Shape = 0;
        bool operator==(const TChannel&) const = default;
    };

    // Steps through every element to the end of the frame, so a channel after a pair without
    // a common window is reached exactly. False when the frame does not parse to its end or
    // holds an element AAC-LC encoders do not write.
    static bool Read(const std::uint8_t* data, std::size_t size, int sampleRate,
                     std::vector<TChannel>& channels);
    // Whether next may follow previous: a long window's overlap must meet a long one, a short
    // one's a short one.
    static bool Follows(TSequence previous, TSequence next);
    // Whether every channel of next follows on from the same channel of previous.
    static bool Joins(const std::vector<TChannel>& previous, const std::vector<TChannel>& next);
    // Whether next, encoded to follow lead, may follow previous in its place: every channel
    // joins, and previous has lead's window shapes, which a decoder gives next's first half.
    static bool Replaces(const std::vector<TChannel>& previous, const std::vector<TChannel>& lead,
                         const std::vector<TChannel>& next);
};
