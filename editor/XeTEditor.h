#pragma once

#include "editor/AEffGUIEditor.h"
#include "gui/CControlListener.h"
#include "gui/CRect.h"
#include "params/ParameterNames.h"
#include "vst/NoticeQueue.h"

#include <atomic>
#include <memory>
#include <vector>

class AudioEffectX;
class CBitmap;
class CCapsuleSelector;
class CControl;
class CDirectionView;
class CMeterSource;
class CNoticeView;
class COptionMenu;
class CSegmentButton;
class CTextEdit;
class CView;
class CVuMeter;

// The plug-in's window. Over the product panel with the program's name and a menu of the
// programs, tabs choose one of three views of the settings ("View Mode"): Setup (stages, filter
// sets, calibration, and any parameters beyond the processor's own), Capsule (the equaliser and
// output gains of the capsule chosen on a drawing of the array, "Current Capsule") and Matrix
// (every capsule-to-output gain and the output gains). Beside them, while "Display VU" is on,
// a meter per output and the direction the sound comes from.
//
// The editor knows the parameters by their names and reads values and texts through the
// effect; a change the user makes goes to the host as begin-edit, automate, end-edit, so that
// hosts record it. Changes from the host show at the next idle call. Error notices of the
// effect are shown over everything, one at a time, until dismissed.
class AXeTEditor : public AEffGUIEditor, public CControlListener {
public:
    static constexpr long kBackgroundResource = 128;
    static constexpr long kNameFieldTag = 1024; // beyond every parameter index
    static constexpr long kNoticeTag = 1025;
    static constexpr long kProgramMenuTag = 1026;
    static constexpr int kNameBufferSize = 25; // 24 characters and the terminator
    enum View { kSetupView = 1, kCapsuleView = 2, kMatrixView = 3 };
    // How long meters keep showing the last block measured before they fall to silence.
    static constexpr double kMeterStaleSeconds = 0.3;

    // meters may be null: the window then shows no levels. Neither the effect nor the meter
    // source is asked anything that touches the display before open.
    explicit AXeTEditor(AudioEffectX* effect, CMeterSource* meters = nullptr);
    ~AXeTEditor() override;

    bool open(void* window) override;
    void close() override;
    void idle() override;
    // Any thread: only asks for the controls to be brought up to date at the next idle.
    void setParameter(VstInt32 index, float value) override;
    // Any thread, right after the effect selected a program: its values become what a double
    // click on a control goes back to.
    void programSelected();

    void valueChanged(CDrawContext* context, CControl* control) override;
    void controlBeginEdit(CControl* control) override;
    void controlEndEdit(CControl* control) override;

    CTextEdit* getTextField() const { return textField; }
    CNoticeView* getNoticeView() const { return noticeView; }
    // Decoded while the window is open, null otherwise.
    CBitmap* getBackground() const { return background; }
    CVuMeter* getMeter(int output) const;
    // The view shown (kSetupView...), 0 while closed.
    int getView() const { return shownView; }
    // The visible control that sets parameter index, null when none is shown.
    CControl* findControl(long index) const;
    // The effect's index of the parameter with this name, -1 when it has none.
    int findParameter(const char* parameterName) const;

private:
    enum Kind { kKnobKind, kSliderKind, kSwitchKind, kMenuKind, kStepKind };
    // A control of a parameter; view 0 shows in every view.
    struct Binding {
        CControl* control;
        Kind kind;
        int view;
    };
    // Parameters the window places, known by name.
    enum Role {
        kLFEnabledRole,
        kLFCutFreqRole,
        kLFBoostFreqRole,
        kLockedRole,
        kCalibrationRole,
        kPreMatrixRole,
        kPostMatrixRole,
        kEQsEnabledRole,
        kEQsLinkedRole,
        kGainsLinkedRole,
        kABMatrixRole,
        kCurrentCapsuleRole,
        kViewModeRole,
        kDisplayVURole,
        kRoleCount
    };
    static_assert(kRoleCount == kNumFixedParameters, "a role for each fixed parameter");
    static constexpr int kCapsuleParams = 7; // EQ frequency, width, gain, gains to W X Y Z

    void resolveParameters();
    void buildViews();
    void addView(CView* view, int page);
    void addLabel(const CRect& size, const char* text, bool heading, int page);
    void addHint(int page);
    CControl* bind(CControl* control, Kind kind, int page);
    void addKnob(const CRect& size, int index, const char* title, bool bipolar, int page);
    void addSwitch(const CRect& size, int index, const char* title, int page);
    void addSetMenu(const CRect& label, const CRect& size, int index, const char* title);
    // Values, display texts and defaults of every control, the view and the capsule shown.
    void refreshControls();
    void refreshProgramMenu();
    void showView(int view);
    void showCapsule(int capsule);
    bool metersAreOn() const;
    void startMeters();
    void updateMeters();
    // Shows the oldest pending notice of the effect, or hides the view when none is left.
    void updateNotice();
    void formatDisplay(int index, char* text, int size) const;
    float parameter(int index) const;
    bool isParameter(long tag) const { return tag >= 0 && tag < numParams; }
    void forgetViews();

    AudioEffectX* effectX;
    CMeterSource* meterSource;
    int numParams;
    int roles[kRoleCount];
    int capsuleParams[4][kCapsuleParams];
    int outputGains[4];
    std::vector<int> moreParams; // indices the window does not know by name
    // Every parameter's value when the current program was selected.
    std::unique_ptr<std::atomic<float>[]> programValues;

    CBitmap* background;
    // Owned by the frame.
    CTextEdit* textField;
    CNoticeView* noticeView;
    COptionMenu* programMenu;
    CSegmentButton* tabs;
    CCapsuleSelector* capsuleSelector;
    CControl* capsuleControls[kCapsuleParams];
    CVuMeter* meters[4];
    CDirectionView* directionView;
    std::vector<Binding> bindings;
    std::vector<std::pair<CView*, int>> pages; // every view that belongs to one view mode

    int shownView;
    int shownCapsule;
    bool metersOn;
    unsigned long meterUpdates;
    double meterTime; // seconds, when meterUpdates last changed
    bool inIdle;
    CNoticeQueue::Ticket shownNotice;
    std::atomic<bool> parameterChanged;
    char name[kNameBufferSize];
};
