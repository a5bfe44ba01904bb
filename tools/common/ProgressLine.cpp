#include "common/ProgressLine.h"

#include "common/ToolText.h"

void TProgressLine::Show(const std::string& text) {
    std::string out = "\r" + text;
    if (text.size() < Shown)
        out.append(Shown - text.size(), ' ');
    Shown = text.size();
    Open = true;
    tooltext::Write(out);
}

void TProgressLine::Finish() {
    if (Open)
        tooltext::Write("\n");
    Open = false;
    Shown = 0;
}
