// The line under the download window's bar, in the user's language: the bytes received of
// the total and the rate ("12,3 MiB von 48,0 MiB, 3,1 MiB/s"), the texts from the program's
// table (strings 10 to 12), so that every host shows the same words.
#pragma once

#include <vxnstl/string>

#include <cstdint>

namespace ui {

// `total` 0: not known (the line names the received bytes only). The rate shows once the
// transfer has run half a second: over the first moments it says little.
vxn::wstring TransferFiguresText(std::uint64_t received, std::uint64_t total, double seconds);

// One amount: bytes below a KiB, else one decimal and the unit.
vxn::wstring ByteAmountText(std::uint64_t count);

} // namespace ui
