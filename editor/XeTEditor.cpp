#include "editor/XeTEditor.h"

#include "editor/CapsuleSelector.h"
#include "editor/DirectionView.h"
#include "editor/EditorLayout.h"
#include "editor/MeterSource.h"
#include "editor/NoticeView.h"
#include "gui/CBitmap.h"
#include "gui/CColor.h"
#include "gui/CFrame.h"
#include "gui/CKnob.h"
#include "gui/COnOffButton.h"
#include "gui/COptionMenu.h"
#include "gui/CSegmentButton.h"
#include "gui/CSlider.h"
#include "gui/CTextEdit.h"
#include "gui/CTextLabel.h"
#include "gui/CVuMeter.h"
#include "gui/Palette.h"
#include "vst/AudioEffectX.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Fully transparent: the picture shows through the field.
const CColor kFieldColor(149, 111, 42, 0);

// Choices of the stepped parameters: filter sets 0 to 7, capsules 1 to 4, views 1 to 3.
constexpr int kFilterSetSteps = 8;
constexpr int kCapsuleSteps = 4;
constexpr int kViewSteps = 3;
const char* const kCapsuleTitles[] = {"Freq", "Width", "Gain", "to W", "to X", "to Y", "to Z"};
const char* const kOutputNames[] = {"W", "X", "Y", "Z"};
const char kHintText[] = "Drag, scroll or use the arrow keys (Shift: finer). "
                         "Double-click: the program's value.";

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

float toDb(float level, float floor) {
    if (!(level > 1e-7f)) return floor;
    return 20.0f * std::log10(level);
}

} // namespace

AXeTEditor::AXeTEditor(AudioEffectX* effect, CMeterSource* meters)
    : AEffGUIEditor(effect), effectX(effect), meterSource(meters),
      numParams(effect != nullptr ? effect->getNumParams() : 0), background(nullptr),
      textField(nullptr), noticeView(nullptr), programMenu(nullptr), tabs(nullptr),
      capsuleSelector(nullptr), directionView(nullptr), shownView(0), shownCapsule(-1),
      metersOn(false), meterUpdates(0), meterTime(-1e9), inIdle(false), shownNotice(0),
      parameterChanged(false) {
    name[0] = '\0';
    for (CControl*& control : capsuleControls)
        control = nullptr;
    for (CVuMeter*& meter : this->meters)
        meter = nullptr;
    if (numParams < 0) numParams = 0;
    programValues.reset(new std::atomic<float>[static_cast<size_t>(numParams)]);
    resolveParameters();
    programSelected();
    // The window takes the picture's size, read from its header: decoding waits for open.
    int width = 0, height = 0;
    CBitmap::readSize(kBackgroundResource, &width, &height);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(height);
    rect.right = static_cast<VstInt16>(width);
}

AXeTEditor::~AXeTEditor() {
    // The frame goes first: it still points at the background.
    delete frame;
    frame = nullptr;
    forgetViews();
    delete background;
    background = nullptr;
}

void AXeTEditor::resolveParameters() {
    for (int& role : roles)
        role = -1;
    for (auto& capsule : capsuleParams)
        for (int& index : capsule)
            index = -1;
    for (int& index : outputGains)
        index = -1;
    moreParams.clear();
    if (effectX == nullptr) return;
    for (int index = 0; index < numParams; ++index) {
        char text[AudioEffect::kScratchSize] = {};
        effectX->getParameterName(index, text);
        text[sizeof(text) - 1] = '\0';
        bool known = false;
        for (int role = 0; role < kRoleCount && !known; ++role)
            if (std::strcmp(text, kFixedParameterNames[role]) == 0) {
                roles[role] = index;
                known = true;
            }
        for (int c = 0; c < 4 && !known; ++c) {
            char expected[40];
            const char* const formats[3] = {"Cap %d EQ Freq", "Cap %d EQ Width", "Cap %d EQ Gain"};
            for (int r = 0; r < 3 && !known; ++r) {
                std::snprintf(expected, sizeof(expected), formats[r], c + 1);
                if (std::strcmp(text, expected) == 0) {
                    capsuleParams[c][r] = index;
                    known = true;
                }
            }
            for (int k = 0; k < 4 && !known; ++k) {
                std::snprintf(expected, sizeof(expected), "Cap %d Out %d Gain", c + 1, k + 1);
                if (std::strcmp(text, expected) == 0) {
                    capsuleParams[c][3 + k] = index;
                    known = true;
                }
            }
        }
        for (int k = 0; k < 4 && !known; ++k) {
            char expected[40];
            std::snprintf(expected, sizeof(expected), "Output %d Gain", k + 1);
            if (std::strcmp(text, expected) == 0) {
                outputGains[k] = index;
                known = true;
            }
        }
        if (!known) moreParams.push_back(index);
    }
}

int AXeTEditor::findParameter(const char* parameterName) const {
    if (effectX == nullptr || parameterName == nullptr) return -1;
    for (int index = 0; index < numParams; ++index) {
        char text[AudioEffect::kScratchSize] = {};
        effectX->getParameterName(index, text);
        text[sizeof(text) - 1] = '\0';
        if (std::strcmp(text, parameterName) == 0) return index;
    }
    return -1;
}

void AXeTEditor::programSelected() {
    for (int index = 0; index < numParams; ++index)
        programValues[static_cast<size_t>(index)].store(parameter(index),
                                                        std::memory_order_relaxed);
    parameterChanged.store(true, std::memory_order_relaxed);
}

float AXeTEditor::parameter(int index) const {
    if (effectX == nullptr || !isParameter(index)) return 0.0f;
    const float value = effectX->getParameter(index);
    return std::isfinite(value) ? value : 0.0f;
}

void AXeTEditor::formatDisplay(int index, char* text, int size) const {
    char display[AudioEffect::kScratchSize] = {};
    char label[AudioEffect::kScratchSize] = {};
    if (effectX != nullptr && isParameter(index)) {
        effectX->getParameterDisplay(index, display);
        effectX->getParameterLabel(index, label);
    }
    display[sizeof(display) - 1] = '\0';
    label[sizeof(label) - 1] = '\0';
    const char* shown = display;
    while (*shown == ' ')
        ++shown;
    if (label[0] != '\0')
        std::snprintf(text, static_cast<size_t>(size), "%s %s", shown, label);
    else
        std::snprintf(text, static_cast<size_t>(size), "%s", shown);
}

CVuMeter* AXeTEditor::getMeter(int output) const {
    return output >= 0 && output < 4 ? meters[output] : nullptr;
}

CControl* AXeTEditor::findControl(long index) const {
    for (const Binding& binding : bindings)
        if (binding.control->getTag() == index && binding.control->isVisible())
            return binding.control;
    return nullptr;
}

void AXeTEditor::addView(CView* view, int page) {
    frame->addView(view);
    if (page != 0) pages.emplace_back(view, page);
}

void AXeTEditor::addLabel(const CRect& size, const char* text, bool heading, int page) {
    addView(new CTextLabel(size, text, heading ? CTextLabel::kHeading : CTextLabel::kPlain), page);
}

void AXeTEditor::addHint(int page) {
    CTextLabel* hint = new CTextLabel(layout::kHint, kHintText);
    hint->setFont(9, false);
    hint->setFontColor(palette::kTextFaint);
    addView(hint, page);
}

CControl* AXeTEditor::bind(CControl* control, Kind kind, int page) {
    addView(control, page);
    bindings.push_back({control, kind, page});
    return control;
}

void AXeTEditor::addKnob(const CRect& size, int index, const char* title, bool bipolar, int page) {
    if (!isParameter(index)) return;
    CKnob* knob = new CKnob(size, this, index);
    knob->setTitle(title);
    knob->setBipolar(bipolar);
    bind(knob, kKnobKind, page);
}

void AXeTEditor::addSwitch(const CRect& size, int index, const char* title, int page) {
    if (!isParameter(index)) return;
    bind(new COnOffButton(size, this, index, title), kSwitchKind, page);
}

void AXeTEditor::addSetMenu(const CRect& label, const CRect& size, int index, const char* title) {
    if (!isParameter(index)) return;
    addLabel(label, title, false, kSetupView);
    COptionMenu* menu = new COptionMenu(size, this, index);
    menu->setSteps(kFilterSetSteps);
    // The sets that exist, in order; the first number without one ends the list.
    for (int n = 0; n < kFilterSetSteps; ++n) {
        char text[AudioEffect::kScratchSize] = {};
        if (!effectX->getParameterDisplayAt(index, CControl::valueOfStep(n, kFilterSetSteps), text))
            break;
        text[sizeof(text) - 1] = '\0';
        menu->setEntry(n, text);
    }
    bind(menu, kMenuKind, kSetupView);
}

void AXeTEditor::buildViews() {
    using namespace layout;
    textField = new CTextEdit(kNameField, this, kNameFieldTag, nullptr, nullptr, 0);
    textField->setFrameColor(kFieldColor);
    textField->setBackColor(kFieldColor);
    frame->addView(textField);
    programMenu = new COptionMenu(kProgramMenu, this, kProgramMenuTag);
    programMenu->setSteps(effectX->getNumPrograms() > 1 ? effectX->getNumPrograms() : 2);
    frame->addView(programMenu);

    if (isParameter(roles[kViewModeRole])) {
        tabs = new CSegmentButton(kTabs, this, roles[kViewModeRole]);
        tabs->addSegment("Setup");
        tabs->addSegment("Capsule");
        tabs->addSegment("Matrix");
        bind(tabs, kStepKind, 0);
    }

    // Setup.
    addLabel(kLowFrequencyHeading, "LOW FREQUENCY", true, kSetupView);
    addSwitch(kLFEnabled, roles[kLFEnabledRole], "LF Enabled", kSetupView);
    addKnob(kLFCutFreq, roles[kLFCutFreqRole], "Cut", false, kSetupView);
    addKnob(kLFBoostFreq, roles[kLFBoostFreqRole], "Boost", false, kSetupView);
    addLabel(kStagesHeading, "STAGES", true, kSetupView);
    addSwitch(kEQsEnabled, roles[kEQsEnabledRole], "EQs Enabled", kSetupView);
    addSwitch(kABMatrixEnabled, roles[kABMatrixRole], "AB Matrix Enabled", kSetupView);
    addLabel(kFilterSetsHeading, "FILTER SETS", true, kSetupView);
    addSetMenu(kPreMatrixLabel, kPreMatrixMenu, roles[kPreMatrixRole], "Pre-matrix");
    addSetMenu(kPostMatrixLabel, kPostMatrixMenu, roles[kPostMatrixRole], "Post-matrix");
    addLabel(kCalibrationHeading, "CALIBRATION", true, kSetupView);
    addSwitch(kCalibration, roles[kCalibrationRole], "Calibration", kSetupView);
    addSwitch(kLocked, roles[kLockedRole], "Locked", kSetupView);
    if (!moreParams.empty()) {
        // Whatever else the effect has (the output format), named as the effect names it.
        addLabel(kMoreHeading, "OUTPUT FORMAT", true, kSetupView);
        const int count = static_cast<int>(moreParams.size());
        const int span = kViewRight - kViewLeft;
        int pitch = span / count;
        if (pitch > kKnobWidth + 8) pitch = kKnobWidth + 8;
        const int width = pitch < kKnobWidth ? pitch : kKnobWidth;
        for (int i = 0; i < count; ++i) {
            char title[AudioEffect::kScratchSize] = {};
            effectX->getParameterName(moreParams[static_cast<size_t>(i)], title);
            title[sizeof(title) - 1] = '\0';
            addKnob(knob(kViewLeft + i * pitch, kMoreTop, width),
                    moreParams[static_cast<size_t>(i)], title, false, kSetupView);
        }
    }
    addHint(kSetupView);

    // Capsule.
    if (isParameter(roles[kCurrentCapsuleRole])) {
        capsuleSelector = new CCapsuleSelector(kCapsuleSelector, this, roles[kCurrentCapsuleRole]);
        bind(capsuleSelector, kStepKind, kCapsuleView);
    }
    addLabel(kEqualiserHeading, "EQUALISER", true, kCapsuleView);
    addLabel(kGainsHeading, "GAINS TO OUTPUTS", true, kCapsuleView);
    for (int r = 0; r < kCapsuleParams; ++r) {
        // Bound to capsule 1 for now; showCapsule moves them to the capsule chosen.
        const int index = capsuleParams[0][r];
        if (!isParameter(index)) continue;
        CKnob* knobView = new CKnob(r < 3 ? equaliserKnob(r) : gainKnob(r - 3), this, index);
        knobView->setTitle(kCapsuleTitles[r]);
        knobView->setBipolar(r >= 2);
        capsuleControls[r] = bind(knobView, kKnobKind, kCapsuleView);
    }
    addSwitch(kEQsLinked, roles[kEQsLinkedRole], "EQs Linked", kCapsuleView);
    addSwitch(kGainsLinked, roles[kGainsLinkedRole], "Gains Linked", kCapsuleView);
    addHint(kCapsuleView);

    // Matrix.
    addLabel(kMatrixHeading, "CAPSULE TO OUTPUT GAIN", true, kMatrixView);
    for (int k = 0; k < 4; ++k) {
        CTextLabel* column = new CTextLabel(
            CRect(matrixCell(0, k).left, kCellTop - 18, matrixCell(0, k).right, kCellTop - 4),
            kOutputNames[k]);
        column->setFont(11, true);
        column->setAlignment(kCenterText);
        addView(column, kMatrixView);
    }
    for (int c = 0; c < 4; ++c) {
        char row[16];
        std::snprintf(row, sizeof(row), "Capsule %d", c + 1);
        addLabel(CRect(kViewLeft, matrixCell(c, 0).top, kCellLeft - 6, matrixCell(c, 0).bottom),
                 row, false, kMatrixView);
        for (int k = 0; k < 4; ++k) {
            const int index = capsuleParams[c][3 + k];
            if (!isParameter(index)) continue;
            CSlider* cell = new CSlider(matrixCell(c, k), this, index);
            cell->setBipolar(true);
            bind(cell, kSliderKind, kMatrixView);
        }
    }
    addLabel(kOutputGainHeading, "OUTPUT GAIN", true, kMatrixView);
    addLabel(CRect(kViewLeft, outputGainCell(0).top, kCellLeft - 6, outputGainCell(0).bottom),
             "Output", false, kMatrixView);
    for (int k = 0; k < 4; ++k) {
        if (!isParameter(outputGains[k])) continue;
        CSlider* cell = new CSlider(outputGainCell(k), this, outputGains[k]);
        cell->setBipolar(true);
        bind(cell, kSliderKind, kMatrixView);
    }
    addHint(kMatrixView);

    // Meters and direction, in every view.
    if (isParameter(roles[kDisplayVURole]))
        addSwitch(kDisplayVU, roles[kDisplayVURole], "Display VU", 0);
    for (int k = 0; k < 4; ++k) {
        meters[k] = new CVuMeter(meter(k), kMeterMinDb, kMeterMaxDb);
        meters[k]->setTitle(kOutputNames[k]);
        frame->addView(meters[k]);
    }
    directionView = new CDirectionView(kDirectionView);
    frame->addView(directionView);
}

bool AXeTEditor::open(void* window) {
    if (frame != nullptr) close(); // opened twice: start afresh
    AEffEditor::open(window);
    if (effectX == nullptr) return false;

    background = new CBitmap(kBackgroundResource);
    const CRect size(0, 0, rect.right, rect.bottom);
    frame = new CFrame(size, window, this);
    frame->setBackground(background);
    buildViews();
    // Last, so that it covers everything.
    noticeView = new CNoticeView(size, this, kNoticeTag);
    noticeView->setVisible(false);
    frame->addView(noticeView);

    parameterChanged.store(false, std::memory_order_relaxed);
    shownView = 0;
    shownCapsule = -1;
    metersOn = metersAreOn();
    if (metersOn) startMeters();
    refreshControls();
    refreshProgramMenu();
    // Notices raised while the window was closed show at once.
    updateNotice();
    return true;
}

void AXeTEditor::forgetViews() {
    textField = nullptr;
    noticeView = nullptr;
    programMenu = nullptr;
    tabs = nullptr;
    capsuleSelector = nullptr;
    directionView = nullptr;
    for (CControl*& control : capsuleControls)
        control = nullptr;
    for (CVuMeter*& meter : meters)
        meter = nullptr;
    bindings.clear();
    pages.clear();
    shownView = 0;
}

void AXeTEditor::close() {
    // A drag in progress ends here, so the host hears the end of the gesture.
    if (frame != nullptr) frame->releaseMouse();
    delete frame;
    frame = nullptr;
    forgetViews();
    delete background;
    background = nullptr;
    AEffGUIEditor::close();
}

void AXeTEditor::showView(int view) {
    if (view == shownView || frame == nullptr) return;
    shownView = view;
    frame->closePopup();
    for (const auto& member : pages)
        member.first->setVisible(member.second == view);
    // Keys that were in a view now hidden go to the tabs.
    CView* focus = frame->getFocusView();
    if (focus != nullptr && !focus->isVisible()) frame->setFocusView(tabs);
}

void AXeTEditor::showCapsule(int capsule) {
    if (capsule == shownCapsule) return;
    for (int r = 0; r < kCapsuleParams; ++r) {
        CControl* control = capsuleControls[r];
        // Never while the user holds a knob: its gesture must end with the index it began.
        if (control != nullptr && control->isInGesture()) return;
    }
    shownCapsule = capsule;
    for (int r = 0; r < kCapsuleParams; ++r)
        if (capsuleControls[r] != nullptr && isParameter(capsuleParams[capsule][r]))
            capsuleControls[r]->setTag(capsuleParams[capsule][r]);
}

void AXeTEditor::refreshControls() {
    if (frame == nullptr) return;
    if (isParameter(roles[kViewModeRole]))
        showView(CControl::stepOf(parameter(roles[kViewModeRole]), kViewSteps) + 1);
    else
        showView(kSetupView);
    if (isParameter(roles[kCurrentCapsuleRole]))
        showCapsule(CControl::stepOf(parameter(roles[kCurrentCapsuleRole]), kCapsuleSteps));
    else
        showCapsule(0);

    for (const Binding& binding : bindings) {
        const long index = binding.control->getTag();
        if (!isParameter(index)) continue;
        binding.control->setValue(parameter(static_cast<int>(index)));
        binding.control->setDefaultValue(
            programValues[static_cast<size_t>(index)].load(std::memory_order_relaxed));
        if (binding.kind == kKnobKind || binding.kind == kSliderKind) {
            char text[CDragControl::kMaxText];
            formatDisplay(static_cast<int>(index), text, sizeof(text));
            static_cast<CDragControl*>(binding.control)->setDisplayText(text);
        } else if (binding.kind == kMenuKind) {
            // The set in use, which a value naming no set leaves as it was.
            char text[COptionMenu::kMaxText];
            formatDisplay(static_cast<int>(index), text, sizeof(text));
            static_cast<COptionMenu*>(binding.control)->setFaceText(text);
        }
    }
}

void AXeTEditor::refreshProgramMenu() {
    if (programMenu == nullptr || effectX == nullptr) return;
    const int count = effectX->getNumPrograms();
    programMenu->setNbEntries(count < COptionMenu::kMaxEntries ? count : COptionMenu::kMaxEntries);
    for (int i = 0; i < programMenu->getNbEntries(); ++i) {
        char text[AudioEffect::kScratchSize] = {};
        if (!effectX->getProgramNameIndexed(-1, i, text))
            std::snprintf(text, sizeof(text), "Program %d", i + 1);
        text[sizeof(text) - 1] = '\0';
        char entry[COptionMenu::kMaxText];
        std::snprintf(entry, sizeof(entry), "%d   %.48s", i + 1, text);
        programMenu->setEntry(i, entry);
    }
    const int current = effectX->getProgram();
    programMenu->setValue(CControl::valueOfStep(current, programMenu->getSteps()));
    char face[32];
    std::snprintf(face, sizeof(face), "Program %d/%d", current + 1, count);
    programMenu->setFaceText(face);
}

bool AXeTEditor::metersAreOn() const {
    const int index = roles[kDisplayVURole];
    return meterSource != nullptr && isParameter(index) && parameter(index) > 0.5f;
}

void AXeTEditor::startMeters() {
    // Levels count from the next block measured; until then the meters show silence.
    CMeterValues values;
    meterSource->readMeters(values);
    meterUpdates = values.updates;
    meterTime = -1e9;
}

void AXeTEditor::updateMeters() {
    const bool on = metersAreOn();
    if (on && !metersOn) {
        // Switched on: what was measured long ago is not shown, nor kept in the averages.
        startMeters();
        meterSource->resetMeters();
    }
    metersOn = on;
    if (!on) {
        for (CVuMeter* meter : meters)
            if (meter != nullptr) meter->setActive(false);
        if (directionView != nullptr) directionView->setIntensity(0.0f, 0.0f, 0.0f, false);
        return;
    }
    CMeterValues values;
    meterSource->readMeters(values);
    const double now = secondsNow();
    if (values.updates != meterUpdates) {
        meterUpdates = values.updates;
        meterTime = now;
    }
    // Blocks stop coming when the host stops processing: the meters then fall to silence.
    const bool fresh = now - meterTime < kMeterStaleSeconds;
    for (int k = 0; k < 4; ++k) {
        if (meters[k] == nullptr) continue;
        meters[k]->setActive(true);
        const float floor = layout::kMeterMinDb - 1.0f;
        meters[k]->setLevels(fresh ? toDb(values.peak[k], floor) : floor,
                             fresh ? toDb(values.rms[k], floor) : floor, now);
    }
    if (directionView != nullptr) {
        if (fresh)
            directionView->setIntensity(values.intensity[0], values.intensity[1],
                                        values.intensity[2], true);
        else
            directionView->setIntensity(0.0f, 0.0f, 0.0f, true);
    }
}

void AXeTEditor::idle() {
    if (!inIdle && isOpen() && frame != nullptr && textField != nullptr && effectX != nullptr) {
        // A listener called during the frame's event handling may make the host idle us again.
        inIdle = true;
        if (parameterChanged.exchange(false, std::memory_order_relaxed)) refreshControls();
        refreshProgramMenu();
        effectX->getProgramName(name);
        name[kNameBufferSize - 1] = '\0';
        textField->setText(name);
        updateMeters();
        updateNotice();
        inIdle = false;
    }
    AEffGUIEditor::idle();
}

void AXeTEditor::setParameter(VstInt32, float) {
    // The host may set parameters on any thread while the window closes, so the frame itself
    // is left to the user-interface thread.
    parameterChanged.store(true, std::memory_order_relaxed);
}

void AXeTEditor::controlBeginEdit(CControl* control) {
    if (frame != nullptr && control != nullptr && isParameter(control->getTag()))
        effectX->beginEdit(static_cast<VstInt32>(control->getTag()));
}

void AXeTEditor::controlEndEdit(CControl* control) {
    if (frame != nullptr && control != nullptr && isParameter(control->getTag()))
        effectX->endEdit(static_cast<VstInt32>(control->getTag()));
}

void AXeTEditor::valueChanged(CDrawContext*, CControl* control) {
    if (!isOpen() || frame == nullptr || control == nullptr || effectX == nullptr) return;
    const long tag = control->getTag();
    if (tag == kNameFieldTag && control == textField) {
        textField->getText(name, sizeof(name));
        effectX->setProgramName(name);
        effectX->updateDisplay();
        textField->setDirty();
    } else if (tag == kNoticeTag && control == noticeView) {
        effectX->getNoticeQueue()->dismiss(shownNotice);
        updateNotice();
    } else if (tag == kProgramMenuTag && control == programMenu) {
        const int program = programMenu->getCurrent();
        if (program >= 0 && program < effectX->getNumPrograms()) {
            effectX->setProgram(program);
            effectX->updateDisplay();
        }
        refreshControls();
        refreshProgramMenu();
    } else if (isParameter(tag)) {
        effectX->setParameterAutomated(static_cast<VstInt32>(tag), control->getValue());
        // Linked parameters, the view and the capsule shown follow at once.
        refreshControls();
    }
}

void AXeTEditor::updateNotice() {
    if (noticeView == nullptr || frame == nullptr || effectX == nullptr) return;
    char text[CNoticeView::kMaxText];
    int count = 0;
    CNoticeQueue::Ticket ticket = 0;
    if (effectX->getNoticeQueue()->peek(text, sizeof(text), &count, &ticket)) {
        shownNotice = ticket;
        noticeView->setNotice(text, count);
        if (!noticeView->isVisible()) {
            noticeView->setVisible(true);
            frame->closePopup();
            // An edit in progress ends here: the notice covers the field.
            frame->setFocusView(noticeView);
        }
    } else if (noticeView->isVisible()) {
        noticeView->setVisible(false);
        noticeView->clearNotice();
        if (frame->getFocusView() == noticeView) frame->setFocusView(nullptr);
    }
}
