#pragma once

#include <string_view>

namespace platform {

// The order a file manager shows names in: letters without regard to case, runs of digits by
// their value ("2 x" before "10 x"). Names that differ only in case or leading zeros still get
// a fixed order, so a sort never depends on the order the names came in.
bool NaturalLess(std::string_view a, std::string_view b);

} // namespace platform
