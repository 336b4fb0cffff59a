#pragma once

#include "vst/AEffEditor.h"

class CFrame;

// An editor drawn by the widget toolkit: it owns the frame while the window is open and lets it
// do its work in idle. The toolkit stays out of this header, so vst/ needs no gui/ headers.
class AEffGUIEditor : public AEffEditor {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    // Deletes a frame the host never closed.
    ~AEffGUIEditor() override;

    // Deletes the frame and forgets the host's window.
    void close() override;
    // Lets the frame handle its window's events and redraw, when open and not already inside
    // an idle call.
    void idle() override;

    CFrame* getFrame() const { return frame; }

protected:
    CFrame* frame;

private:
    bool inIdle;
};
