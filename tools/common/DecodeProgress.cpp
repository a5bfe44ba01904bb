#include "common/DecodeProgress.h"

#include "common/ToolText.h"

#include <algorithm>
#include <string>

TDecodeProgress::TDecodeProgress(std::int64_t total) : Total(std::max<std::int64_t>(total, 1)) {
    Show(0);
}

void TDecodeProgress::Update(std::int64_t done) {
    const int tenths = static_cast<int>(std::clamp<std::int64_t>(done, 0, Total) * 1000 / Total);
    for (int whole = LastTenths / 10 + 1; whole * 10 < tenths; ++whole)
        Show(whole * 10);
    if (tenths != LastTenths)
        Show(tenths);
}

void TDecodeProgress::Show(int tenths) {
    LastTenths = tenths;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    const double fraction = tenths / 1000.0;
    const double total = fraction > 0 ? elapsed / fraction : 0;
    Line.Show("Progress: " + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
              "% (" + tooltext::OneDecimal(total - elapsed) + " seconds remaining, " +
              tooltext::OneDecimal(total) + " seconds total)");
}
