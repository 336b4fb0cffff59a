#pragma once

#include "gui/CRect.h"

// Where everything in the editor's window is, in window coordinates. The background picture is
// drawn to the same plan (resources/draw_background.cpp), so the panels, headings and the meter
// scale it carries line up with the views placed here.
namespace layout {

constexpr int kWidth = 720;
constexpr int kHeight = 450;

// Product panel.
constexpr CRect kNameField(72, 53, 215, 68);
constexpr CRect kProgramMenu(222, 51, 318, 70);

// The three views, chosen by the tabs; the chosen tab overlaps the panel's top edge.
constexpr CRect kTabs(16, 90, 436, 115);
constexpr CRect kViewPanel(16, 114, 436, 414);
constexpr int kViewLeft = 28;
constexpr int kViewRight = 424;
constexpr CRect kHint(28, 394, 424, 408);

// Knobs: title, disc, value.
constexpr int kKnobWidth = 64;
constexpr int kKnobHeight = 78;

// Setup view.
constexpr CRect kLowFrequencyHeading(28, 124, 268, 136);
constexpr CRect kLFEnabled(28, 168, 124, 188);
constexpr CRect kLFCutFreq(132, 140, 196, 218);
constexpr CRect kLFBoostFreq(200, 140, 264, 218);
constexpr CRect kStagesHeading(284, 124, 424, 136);
constexpr CRect kEQsEnabled(284, 146, 424, 166);
constexpr CRect kABMatrixEnabled(284, 172, 424, 192);
constexpr CRect kFilterSetsHeading(28, 232, 268, 244);
constexpr CRect kPreMatrixLabel(28, 252, 100, 270);
constexpr CRect kPreMatrixMenu(104, 252, 268, 270);
constexpr CRect kPostMatrixLabel(28, 278, 100, 296);
constexpr CRect kPostMatrixMenu(104, 278, 268, 296);
constexpr CRect kCalibrationHeading(284, 232, 424, 244);
constexpr CRect kCalibration(284, 252, 424, 272);
constexpr CRect kLocked(284, 278, 424, 298);
// Parameters beyond the processor's own 46 (output format), in one row of knobs.
constexpr CRect kMoreHeading(28, 301, 424, 313);
constexpr int kMoreTop = 315;

// Capsule view.
constexpr CRect kCapsuleSelector(28, 122, 192, 318);
constexpr CRect kEqualiserHeading(204, 124, 424, 136);
constexpr int kEqualiserTop = 140;
constexpr int kEqualiserLeft = 208;
constexpr int kEqualiserPitch = 72;
constexpr CRect kGainsHeading(204, 230, 424, 242);
constexpr int kGainsTop = 246;
constexpr int kGainsLeft = 204;
constexpr int kGainsPitch = 56;
constexpr int kGainKnobWidth = 56;
constexpr CRect kEQsLinked(28, 334, 150, 354);
constexpr CRect kGainsLinked(160, 334, 282, 354);

// Matrix view: capsules in rows, outputs in columns.
constexpr CRect kMatrixHeading(28, 124, 424, 136);
constexpr int kCellLeft = 96;
constexpr int kCellPitchX = 82;
constexpr int kCellWidth = 76;
constexpr int kCellTop = 162;
constexpr int kCellPitchY = 30;
constexpr int kCellHeight = 22;
constexpr CRect kOutputGainHeading(28, 290, 424, 302);
constexpr int kOutputGainTop = 312;

// Meters and direction.
constexpr CRect kMeterPanel(448, 48, 704, 238);
constexpr CRect kDisplayVU(596, 52, 698, 70);
constexpr int kMeterLeft = 500;
constexpr int kMeterPitch = 50;
constexpr int kMeterWidth = 34;
constexpr int kMeterTop = 76;     // the title band starts here
constexpr int kMeterBottom = 232; // the readout band ends here
constexpr float kMeterMinDb = -60.0f;
constexpr float kMeterMaxDb = 6.0f;
constexpr CRect kDirectionPanel(448, 246, 704, 414);
constexpr CRect kDirectionView(452, 262, 700, 410);

constexpr CRect knob(int left, int top, int width = kKnobWidth) {
    return CRect(left, top, left + width, top + kKnobHeight);
}
constexpr CRect meter(int output) {
    return CRect(kMeterLeft + output * kMeterPitch, kMeterTop,
                 kMeterLeft + output * kMeterPitch + kMeterWidth, kMeterBottom);
}
constexpr CRect matrixCell(int capsule, int output) {
    return CRect(kCellLeft + output * kCellPitchX, kCellTop + capsule * kCellPitchY,
                 kCellLeft + output * kCellPitchX + kCellWidth,
                 kCellTop + capsule * kCellPitchY + kCellHeight);
}
constexpr CRect outputGainCell(int output) {
    return CRect(kCellLeft + output * kCellPitchX, kOutputGainTop,
                 kCellLeft + output * kCellPitchX + kCellWidth, kOutputGainTop + kCellHeight);
}
constexpr CRect equaliserKnob(int band) {
    return knob(kEqualiserLeft + band * kEqualiserPitch, kEqualiserTop);
}
constexpr CRect gainKnob(int output) {
    return knob(kGainsLeft + output * kGainsPitch, kGainsTop, kGainKnobWidth);
}

} // namespace layout
