#pragma once

#include <cstddef>
#include <string>

// One line of the terminal rewritten in place with a carriage return. Each version goes out in a
// single write and blanks what a longer predecessor left, so a screen read at any moment shows
// one whole, current line.
class TProgressLine {
public:
    void Show(const std::string& text);
    // Ends the line so that later output starts below it.
    void Finish();

private:
    std::size_t Shown = 0;
    bool Open = false;
};
