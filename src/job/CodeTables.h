// SPDX-License-Identifier: GPL-3.0-or-later
// The three option lists: the text each combo box shows and the code the command line
// uses, at the same position.
#pragma once

#include <array>
#include <string_view>

namespace klangdorn
{

struct OptionEntry {
    std::string_view item; // shown in the combo box
    std::string_view code; // written on the command line
};

inline constexpr std::array arrInputSamplerate{
    OptionEntry{"32 kHz", "32000"},
    OptionEntry{"44.1 kHz", "44100"},
    OptionEntry{"48 kHz", "48000"},
};

inline constexpr std::array arrOutputBitrate{
    OptionEntry{"192 kbps", "192"},
    OptionEntry{"224 kbps", "224"},
    OptionEntry{"256 kbps", "256"},
};

inline constexpr std::array arrOutputChannelmode{
    OptionEntry{"Stereo", "s"},
    OptionEntry{"Joint Stereo", "j"},
    OptionEntry{"Dual Channel", "d"},
    OptionEntry{"Mono", "m"},
};

// The position each list selects when the window loads.
inline constexpr int InitialInputSamplerate = 1;
inline constexpr int InitialOutputBitrate = 0;
inline constexpr int InitialOutputChannelmode = 0;

} // namespace klangdorn
