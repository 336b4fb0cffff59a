#pragma once

#include "gui/CColor.h"

// The toolkit's colours: light text and gold accents on dark panels, a blue ring for the keys.
namespace palette {
constexpr CColor kText(0xee, 0xea, 0xe0);
constexpr CColor kTextDim(0xa4, 0xa6, 0xad);
constexpr CColor kTextFaint(0x70, 0x72, 0x79);
constexpr CColor kTextOnAccent(0x1d, 0x1e, 0x22);
constexpr CColor kAccent(0xc9, 0xa2, 0x4a);
constexpr CColor kAccentBright(0xe8, 0xc3, 0x6a);
constexpr CColor kWell(0x15, 0x16, 0x19); // recessed: meters, value boxes, tracks
constexpr CColor kWellEdge(0x08, 0x08, 0x0a);
constexpr CColor kFace(0x30, 0x32, 0x38); // raised: buttons, menus
constexpr CColor kFaceHover(0x3e, 0x41, 0x48);
constexpr CColor kFaceEdge(0x4c, 0x4f, 0x57);
constexpr CColor kKnobLight(0x6a, 0x6d, 0x75);
constexpr CColor kKnobDark(0x22, 0x23, 0x27);
constexpr CColor kTrack(0x2c, 0x2e, 0x33);
constexpr CColor kPanel(0x2b, 0x2d, 0x32); // the panels views sit on, drawn in the picture
constexpr CColor kPanelEdge(0x45, 0x48, 0x50);
constexpr CColor kFocus(0x6f, 0xaa, 0xe0);
constexpr CColor kLedOn(0x86, 0xe0, 0x62);
constexpr CColor kLedOff(0x2a, 0x33, 0x27);
} // namespace palette
