// SPDX-License-Identifier: GPL-3.0-or-later
// The window's definition: every control with its place, the order the focus takes, and the
// names and tool tips that tell what a control is for.
#pragma once

#include <array>

namespace klangdorn::frmMainTables
{

// The window's client area below the menu bar, in twips.
inline constexpr int ClientWidth = 5610;
inline constexpr int ClientHeight = 4485;

// Positions and sizes are kept in twips; 15 twips are one logical pixel.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

enum class Kind { Label, TextBox, Button, CheckBox, ComboBox, Frame, Slider, WaitBar };

struct ControlDefinition {
    const char* name;
    Kind kind;
    const char* container; // nullptr: the window's client area
    const char* caption;
    int left, top, width, height; // twips, relative to the container
};

// Every visible control in the window's definition order; a frame precedes its contents.
inline constexpr std::array controlTable{
    ControlDefinition{"picWaitBar", Kind::WaitBar, nullptr, "", 3360, 4080, 975, 255},
    ControlDefinition{"chkShowBesweet", Kind::CheckBox, nullptr, "BeSweet zeigen", 1800, 4080, 1455,
                      255},
    ControlDefinition{"chkWriteLog", Kind::CheckBox, nullptr, "Log schreiben", 120, 4080, 1575,
                      255},
    ControlDefinition{"frmRAWPCM", Kind::Frame, nullptr, " Quelldatei-Optionen (nur RAW PCM) ", 120,
                      1080, 5415, 855},
    ControlDefinition{"chkInputRAWPCM", Kind::CheckBox, "frmRAWPCM", "Quelldatei ist RAW PCM", 90,
                      390, 2055, 195},
    ControlDefinition{"cmbInputSamplerate", Kind::ComboBox, "frmRAWPCM", "", 2250, 330, 1335, 315},
    ControlDefinition{"lblInputSamplerate", Kind::Label, "frmRAWPCM", "Sample Rate", 3690, 360,
                      1455, 255},
    ControlDefinition{"cmdTranscode", Kind::Button, nullptr, "Transcode", 4440, 4020, 1095, 375},
    ControlDefinition{"fmrOutput", Kind::Frame, nullptr, " Ausgabeoptionen ", 120, 2040, 5415,
                      1815},
    ControlDefinition{"chkResample", Kind::CheckBox, "fmrOutput", "Resample auf 48 kHz", 3240, 360,
                      1935, 255},
    ControlDefinition{"sldNormalize", Kind::Slider, "fmrOutput", "", 120, 1320, 1935, 255},
    ControlDefinition{"cmbOutputChannelmode", Kind::ComboBox, "fmrOutput", "", 120, 840, 1815, 315},
    ControlDefinition{"cmbOutputBitrate", Kind::ComboBox, "fmrOutput", "", 120, 360, 1815, 315},
    ControlDefinition{"lblNormalize", Kind::Label, "fmrOutput", "", 2160, 1320, 3135, 255},
    ControlDefinition{"lblOutputChannelmode", Kind::Label, "fmrOutput", "Kanalmodus (nur MPA)",
                      2160, 840, 2055, 255},
    ControlDefinition{"lblOutputBitrate", Kind::Label, "fmrOutput", "Bitrate (kbps)", 2160, 360,
                      1215, 255},
    ControlDefinition{"cmdOutput", Kind::Button, nullptr, "...", 5160, 600, 375, 285},
    ControlDefinition{"cmdInput", Kind::Button, nullptr, "...", 5160, 240, 375, 285},
    ControlDefinition{"txtOutputFile", Kind::TextBox, nullptr, "", 1200, 600, 3855, 285},
    ControlDefinition{"txtInputFile", Kind::TextBox, nullptr, "", 1200, 240, 3855, 285},
    ControlDefinition{"lblOutputFile", Kind::Label, nullptr, "Zieldatei", 120, 600, 855, 255},
    ControlDefinition{"lblInputFile", Kind::Label, nullptr, "Quelldatei:", 120, 240, 855, 255},
};

// The keyboard focus moves through the controls in this order; labels and frames take none.
inline constexpr std::array tabOrder{
    "txtInputFile",     "txtOutputFile",        "cmdInput",     "cmdOutput",
    "cmbOutputBitrate", "cmbOutputChannelmode", "cmdTranscode", "cmbInputSamplerate",
    "chkInputRAWPCM",   "sldNormalize",         "chkWriteLog",  "chkShowBesweet",
    "picWaitBar",       "chkResample",
};

// What the labels, captions and tooltips cannot tell by themselves: labels name the control
// they stand beside (their buddy), controls without one get a name of their own.
struct ControlHelp {
    const char* name;
    const char* buddy;          // the label naming it, or nullptr
    const char* accessibleName; // nullptr: the buddy's text or the control's caption
    const char* toolTip;        // nullptr: none
};

inline constexpr std::array helpTable{
    ControlHelp{"txtInputFile", "lblInputFile", nullptr, nullptr},
    ControlHelp{"txtOutputFile", "lblOutputFile", nullptr, nullptr},
    ControlHelp{"cmdInput", nullptr, "Quelldatei wählen", "Quelldatei wählen"},
    ControlHelp{"cmdOutput", nullptr, "Zieldatei wählen", "Zieldatei wählen"},
    ControlHelp{"cmbOutputBitrate", "lblOutputBitrate", nullptr, nullptr},
    ControlHelp{"cmbOutputChannelmode", "lblOutputChannelmode", nullptr,
                "Gilt nur für MPEG-Audio (.mpa); AC3 wird immer als Stereo geschrieben."},
    ControlHelp{"cmbInputSamplerate", "lblInputSamplerate", nullptr,
                "Abtastrate der RAW-PCM-Quelle: Sie steht nicht in der Datei."},
    ControlHelp{"sldNormalize", nullptr, "Normalisierungslevel",
                "Spitzenpegel nach dem Normalisieren, in Prozent der Vollaussteuerung.\n"
                "100: keine Normalisierung (bei RAW PCM wird 1.00 übergeben).\n"
                "0: der Pegel bleibt, wie er ist."},
    ControlHelp{"chkResample", nullptr, nullptr,
                "DVD-Audio braucht 48 kHz: andere Abtastraten werden umgerechnet."},
    ControlHelp{"chkInputRAWPCM", nullptr, nullptr,
                "Die Quelle ist PCM ohne Dateikopf: 16 Bit, Little Endian, Stereo."},
    ControlHelp{"chkWriteLog", nullptr, nullptr,
                "BeSweet schreibt ein Log neben die Zieldatei (Zieldatei + \".log\")."},
    ControlHelp{"chkShowBesweet", nullptr, nullptr,
                "Zeigt die Ausgabe von BeSweet während des Laufs in einem eigenen Fenster."},
    ControlHelp{"picWaitBar", nullptr, "Fortschritt", "Bewegt sich, solange BeSweet arbeitet."},
};

} // namespace klangdorn::frmMainTables
