#include "gui/CFrame.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/private/DrawContextImpl.h"
#include "gui/private/KeysymUnicode.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cairo-xlib.h>
#include <cairo.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

struct CFrame::Impl {
    Display* display = nullptr;
    Window window = 0;
    // The offscreen picture as X sees it, when the window's visual takes its pixels as they are
    // (32-bit xRGB, the usual case): changed parts go to the window with XPutImage. Otherwise
    // cairo copies the whole picture through windowSurface.
    XImage* image = nullptr;
    GC gc = nullptr;
    cairo_surface_t* windowSurface = nullptr;
    bool exposed = false; // the window needs the whole picture copied again
    // The last press, to tell a double click: X reports single presses only.
    Time pressTime = 0;
    unsigned pressButton = 0;
    int pressX = 0;
    int pressY = 0;
    bool pressWasDouble = false;
};

namespace {

int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

// X errors are fatal under the default handler, and a host window may vanish before the host
// closes the editor: while creating and destroying our window, errors are ignored and the
// outcome checked instead. The handler is process-wide, so it is swapped only for these calls.
class XErrorGuard {
public:
    XErrorGuard() : previous(XSetErrorHandler(ignoreXErrors)) {}
    ~XErrorGuard() { XSetErrorHandler(previous); }
    XErrorGuard(const XErrorGuard&) = delete;
    XErrorGuard& operator=(const XErrorGuard&) = delete;

private:
    int (*previous)(Display*, XErrorEvent*);
};

int toVirtualKey(KeySym key) {
    switch (key) {
    case XK_Return:
    case XK_KP_Enter:
        return kVKeyReturn;
    case XK_Escape:
        return kVKeyEscape;
    case XK_BackSpace:
        return kVKeyBack;
    case XK_Delete:
    case XK_KP_Delete:
        return kVKeyDelete;
    case XK_Left:
    case XK_KP_Left:
        return kVKeyLeft;
    case XK_Right:
    case XK_KP_Right:
        return kVKeyRight;
    case XK_Up:
    case XK_KP_Up:
        return kVKeyUp;
    case XK_Down:
    case XK_KP_Down:
        return kVKeyDown;
    case XK_Home:
    case XK_KP_Home:
        return kVKeyHome;
    case XK_End:
    case XK_KP_End:
        return kVKeyEnd;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return kVKeyTab;
    case XK_Prior:
    case XK_KP_Prior:
        return kVKeyPageUp;
    case XK_Next:
    case XK_KP_Next:
        return kVKeyPageDown;
    default:
        return kVKeyNone;
    }
}

// The UTF-8 bytes a key types (empty for none). Latin-1 key symbols are their code points, newer
// ones carry theirs above 0x1000000, and the older ones of other scripts come from a table.
void toCharacter(KeySym key, char* output) {
    unsigned long code = 0;
    if ((key >= 0x20 && key <= 0x7e) || (key >= 0xa0 && key <= 0xff)) {
        code = key;
    } else if (key >= 0x1000100 && key <= 0x110ffff) {
        code = key - 0x1000000;
    } else if (key > 0xff && key <= 0xffff) {
        const KeysymUnicode* end = std::end(kKeysymUnicode);
        const KeysymUnicode* found = std::lower_bound(
            std::begin(kKeysymUnicode), end, key,
            [](const KeysymUnicode& entry, KeySym wanted) { return entry.keysym < wanted; });
        if (found != end && found->keysym == key) code = found->unicode;
    }
    int length = 0;
    if (code == 0) {
        output[0] = '\0';
        return;
    }
    if (code < 0x80) {
        output[length++] = static_cast<char>(code);
    } else if (code < 0x800) {
        output[length++] = static_cast<char>(0xc0 | (code >> 6));
        output[length++] = static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        if (code >= 0xd800 && code <= 0xdfff) code = 0xfffd;
        output[length++] = static_cast<char>(0xe0 | (code >> 12));
        output[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        output[length++] = static_cast<char>(0x80 | (code & 0x3f));
    } else {
        output[length++] = static_cast<char>(0xf0 | (code >> 18));
        output[length++] = static_cast<char>(0x80 | ((code >> 12) & 0x3f));
        output[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3f));
        output[length++] = static_cast<char>(0x80 | (code & 0x3f));
    }
    output[length] = '\0';
}

int toModifiers(unsigned state) {
    return ((state & ShiftMask) != 0 ? kShift : 0) | ((state & ControlMask) != 0 ? kControl : 0) |
           ((state & Mod1Mask) != 0 ? kAlt : 0);
}

int toButton(unsigned button) {
    return button == Button1 ? kLButton : (button == Button2 ? kMButton : kRButton);
}

constexpr unsigned long kDoubleClickMs = 400;
constexpr int kDoubleClickPixels = 4;
// Past this many separate parts one rectangle around them all is redrawn instead.
constexpr size_t kMaxDamageRects = 16;

} // namespace

CFrame::CFrame(const CRect& size, void* systemWindow, void* editor)
    : CView(size), impl(new Impl), context(new CDrawContext(size.width(), size.height())),
      background(nullptr), focusView(nullptr), mouseView(nullptr), mouseButton(0), popup(nullptr),
      retiredPopup(nullptr), modifiers(0), editor(editor) {
    frame = this;
    if (systemWindow == nullptr || size.isEmpty()) return;
    impl->display = XOpenDisplay(nullptr);
    if (impl->display == nullptr) return;

    Display* display = impl->display;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    // Our own visual with its colormap and border, so that any parent visual is accepted.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display, screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            KeyPressMask | StructureNotifyMask | FocusChangeMask;
    {
        XErrorGuard guard;
        impl->window = XCreateWindow(
            display, static_cast<Window>(reinterpret_cast<uintptr_t>(systemWindow)), 0, 0,
            static_cast<unsigned>(size.width()), static_cast<unsigned>(size.height()), 0,
            DefaultDepth(display, screen), InputOutput, DefaultVisual(display, screen),
            CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
        XSync(display, False);
        XWindowAttributes created;
        if (XGetWindowAttributes(display, impl->window, &created) == 0) {
            // The host's window was not a window.
            XCloseDisplay(display);
            impl->display = nullptr;
            impl->window = 0;
            return;
        }
    }
    XMapWindow(display, impl->window);
    Visual* visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    cairo_surface_t* picture = context->getImpl()->surface;
    if (visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
        visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff &&
        cairo_image_surface_get_data(picture) != nullptr) {
        impl->image =
            XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                         reinterpret_cast<char*>(cairo_image_surface_get_data(picture)),
                         static_cast<unsigned>(size.width()), static_cast<unsigned>(size.height()),
                         32, cairo_image_surface_get_stride(picture));
        if (impl->image != nullptr && impl->image->bits_per_pixel != 32) {
            impl->image->data = nullptr; // cairo's
            XDestroyImage(impl->image);
            impl->image = nullptr;
        }
    }
    if (impl->image != nullptr) {
        // The pixels are words in this machine's byte order; Xlib swaps them for the server.
        const uint32_t probe = 1;
        impl->image->byte_order =
            *reinterpret_cast<const unsigned char*>(&probe) == 1 ? LSBFirst : MSBFirst;
        impl->gc = XCreateGC(display, impl->window, 0, nullptr);
    } else {
        impl->windowSurface =
            cairo_xlib_surface_create(display, impl->window, visual, size.width(), size.height());
    }
    XFlush(display);
}

CFrame::~CFrame() {
    focusView = nullptr;
    mouseView = nullptr;
    delete popup;
    popup = nullptr;
    deleteRetiredPopup();
    for (CView* view : views)
        delete view;
    views.clear();
    if (impl->display != nullptr) {
        XErrorGuard guard;
        if (impl->image != nullptr) {
            impl->image->data = nullptr; // cairo's
            XDestroyImage(impl->image);
        }
        if (impl->gc != nullptr) XFreeGC(impl->display, impl->gc);
        if (impl->windowSurface != nullptr) cairo_surface_destroy(impl->windowSurface);
        if (impl->window != 0) XDestroyWindow(impl->display, impl->window);
        XSync(impl->display, False);
        XCloseDisplay(impl->display);
    }
    delete impl;
    delete context;
}

bool CFrame::hasWindow() const {
    return impl->window != 0;
}

unsigned long CFrame::getWindowId() const {
    return impl->window;
}

void CFrame::setBackground(CBitmap* bitmap) {
    background = bitmap;
    setDirty();
}

bool CFrame::addView(CView* view) {
    if (view == nullptr || std::find(views.begin(), views.end(), view) != views.end()) return false;
    views.push_back(view);
    view->attached(this);
    view->setDirty();
    return true;
}

bool CFrame::removeView(CView* view, bool withDelete) {
    auto found = std::find(views.begin(), views.end(), view);
    if (found == views.end()) return false;
    if (focusView == view) setFocusView(nullptr);
    if (mouseView == view) mouseView = nullptr;
    views.erase(found);
    invalidRect(view->getViewSize());
    view->attached(nullptr);
    if (withDelete) delete view;
    return true;
}

CView* CFrame::getView(int index) const {
    if (index < 0 || index >= getNbViews()) return nullptr;
    return views[static_cast<size_t>(index)];
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView) return;
    CView* previous = focusView;
    focusView = view;
    if (previous != nullptr) previous->looseFocus();
    if (view != nullptr) view->takeFocus();
}

void CFrame::advanceFocus(bool backwards) {
    std::vector<CView*> candidates;
    for (CView* view : views)
        if (view->isVisible() && view->wantsFocus()) candidates.push_back(view);
    if (candidates.empty()) {
        setFocusView(nullptr);
        return;
    }
    const int count = static_cast<int>(candidates.size());
    int at = -1;
    for (int i = 0; i < count; ++i)
        if (candidates[static_cast<size_t>(i)] == focusView) at = i;
    int next;
    if (at < 0)
        next = backwards ? count - 1 : 0;
    else
        next = (at + (backwards ? count - 1 : 1)) % count;
    setFocusView(candidates[static_cast<size_t>(next)]);
}

void CFrame::openPopup(CView* view) {
    if (view == nullptr) return;
    closePopup();
    popup = view;
    popup->attached(this);
    popup->setDirty();
}

void CFrame::closePopup() {
    if (popup == nullptr) return;
    invalidRect(popup->getViewSize());
    if (mouseView == popup) mouseView = nullptr;
    deleteRetiredPopup();
    retiredPopup = popup;
    popup = nullptr;
}

void CFrame::deleteRetiredPopup() {
    delete retiredPopup;
    retiredPopup = nullptr;
}

void CFrame::releaseMouse() {
    if (mouseView == nullptr) return;
    CView* view = mouseView;
    mouseView = nullptr;
    view->onMouseUp(context, impl->pressX, impl->pressY, mouseButton | modifiers);
}

void CFrame::invalidRect(const CRect& rect) {
    const CRect inside = rect.intersection(CRect(0, 0, size.width(), size.height()));
    if (!inside.isEmpty()) damage.push_back(inside);
}

void CFrame::collectDamage() {
    const CRect whole(0, 0, size.width(), size.height());
    if (isDirty()) {
        damage.clear();
        damage.push_back(whole);
        return;
    }
    for (CView* view : views)
        if (view->isDirty()) invalidRect(view->getViewSize());
    if (popup != nullptr && popup->isDirty()) invalidRect(popup->getViewSize());
    // Overlapping parts become one, so nothing is drawn twice over itself.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < damage.size() && !merged; ++i)
            for (size_t j = i + 1; j < damage.size() && !merged; ++j)
                if (damage[i].intersects(damage[j])) {
                    damage[i] = damage[i].united(damage[j]);
                    damage.erase(damage.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
    }
    if (damage.size() > kMaxDamageRects) {
        CRect all;
        for (const CRect& rect : damage)
            all = all.united(rect);
        damage.assign(1, all);
    }
}

void CFrame::drawRect(CDrawContext* target, const CRect& rect) {
    target->pushClip(rect);
    target->setFillColor(CColor(0, 0, 0));
    target->fillRect(rect);
    if (background != nullptr) background->draw(target, rect, rect.left, rect.top);
    for (CView* view : views) {
        if (!view->isVisible()) {
            view->setDirty(false);
            continue;
        }
        if (!view->getViewSize().intersects(rect)) continue;
        target->pushClip(view->getViewSize());
        view->draw(target);
        target->popClip();
    }
    if (popup != nullptr && popup->getViewSize().intersects(rect)) {
        target->pushClip(popup->getViewSize());
        popup->draw(target);
        target->popClip();
    }
    target->popClip();
}

void CFrame::draw(CDrawContext* target) {
    setDirty(false);
    if (target == nullptr) return;
    drawRect(target, CRect(0, 0, size.width(), size.height()));
}

bool CFrame::onMouseDown(CDrawContext* target, int x, int y, int buttons) {
    modifiers = buttons & (kShift | kControl | kAlt);
    impl->pressX = x;
    impl->pressY = y;
    if (popup != nullptr) {
        if (popup->hitTest(x, y)) {
            popup->onMouseDown(target, x, y, buttons);
            return true;
        }
        // A click beside an open menu only closes it.
        closePopup();
        return true;
    }
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* view = *it;
        if (!view->isVisible() || !view->hitTest(x, y)) continue;
        setFocusView(view->wantsFocus() ? view : nullptr);
        const bool used = view->onMouseDown(target, x, y, buttons);
        if (used && popup == nullptr) {
            mouseView = view;
            mouseButton = buttons & (kLButton | kMButton | kRButton);
        }
        return used;
    }
    // A click on the bare background ends an edit.
    setFocusView(nullptr);
    return false;
}

bool CFrame::onMouseMoved(CDrawContext* target, int x, int y, int buttons) {
    modifiers = buttons & (kShift | kControl | kAlt);
    if (mouseView != nullptr) return mouseView->onMouseMoved(target, x, y, buttons);
    if (popup != nullptr) return popup->onMouseMoved(target, x, y, buttons);
    return false;
}

bool CFrame::onMouseUp(CDrawContext* target, int x, int y, int buttons) {
    modifiers = buttons & (kShift | kControl | kAlt);
    if (mouseView == nullptr) return false;
    CView* view = mouseView;
    mouseView = nullptr;
    return view->onMouseUp(target, x, y, buttons);
}

bool CFrame::onWheel(CDrawContext* target, int x, int y, float distance, int buttons) {
    modifiers = buttons & (kShift | kControl | kAlt);
    if (popup != nullptr) return popup->onWheel(target, x, y, distance, buttons);
    for (auto it = views.rbegin(); it != views.rend(); ++it) {
        CView* view = *it;
        if (view->isVisible() && view->hitTest(x, y))
            return view->onWheel(target, x, y, distance, buttons);
    }
    return false;
}

bool CFrame::onKeyDown(const char* character, int virtualKey) {
    if (popup != nullptr) return popup->onKeyDown(character, virtualKey);
    if (focusView != nullptr && focusView->isVisible() &&
        focusView->onKeyDown(character, virtualKey))
        return true;
    if (virtualKey != kVKeyTab) return false;
    advanceFocus((modifiers & kShift) != 0);
    return true;
}

void CFrame::handleEvents() {
    Display* display = impl->display;
    while (display != nullptr && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            // Keys were remapped (a layout switch, or a tool typing characters the layout
            // lacks): without this, typed keys would be read with the old table.
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        }
        if (event.xany.window != impl->window) continue;
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) impl->exposed = true;
            break;
        case ButtonPress: {
            const unsigned button = event.xbutton.button;
            const int state = toModifiers(event.xbutton.state);
            if (button == Button4 || button == Button5) {
                impl->pressButton = 0; // anything between two presses makes them no double click
                onWheel(context, event.xbutton.x, event.xbutton.y, button == Button4 ? 1.0f : -1.0f,
                        state);
                break;
            }
            if (button < Button1 || button > Button3) break; // sideways wheel steps
            int buttons = toButton(button) | state;
            const bool close = button == impl->pressButton && !impl->pressWasDouble &&
                               event.xbutton.time - impl->pressTime <= kDoubleClickMs &&
                               std::abs(event.xbutton.x - impl->pressX) <= kDoubleClickPixels &&
                               std::abs(event.xbutton.y - impl->pressY) <= kDoubleClickPixels;
            if (close) buttons |= kDoubleClick;
            impl->pressWasDouble = close;
            impl->pressTime = event.xbutton.time;
            impl->pressButton = button;
            // Keys go to the window under the pointer only while nobody holds the focus, so
            // take it: typing into the field must work in any window manager.
            XSetInputFocus(display, impl->window, RevertToParent, event.xbutton.time);
            onMouseDown(context, event.xbutton.x, event.xbutton.y, buttons);
            break;
        }
        case ButtonRelease: {
            const unsigned button = event.xbutton.button;
            if (button < Button1 || button > Button3) break;
            onMouseUp(context, event.xbutton.x, event.xbutton.y,
                      toButton(button) | toModifiers(event.xbutton.state));
            break;
        }
        case MotionNotify: {
            // Only the latest of the moves already queued matters.
            while (XPending(display) > 0) {
                XEvent next;
                XPeekEvent(display, &next);
                if (next.type != MotionNotify || next.xany.window != impl->window) break;
                XNextEvent(display, &event);
            }
            const unsigned state = event.xmotion.state;
            const int held = ((state & Button1Mask) != 0 ? kLButton : 0) |
                             ((state & Button2Mask) != 0 ? kMButton : 0) |
                             ((state & Button3Mask) != 0 ? kRButton : 0);
            onMouseMoved(context, event.xmotion.x, event.xmotion.y, held | toModifiers(state));
            break;
        }
        case KeyPress: {
            char ignored[16];
            KeySym key = NoSymbol;
            XLookupString(&event.xkey, ignored, sizeof(ignored), &key, nullptr);
            char character[8] = {0};
            const int virtualKey = toVirtualKey(key);
            if (virtualKey == kVKeyNone && (event.xkey.state & ControlMask) == 0)
                toCharacter(key, character);
            modifiers = toModifiers(event.xkey.state);
            impl->pressButton = 0;
            onKeyDown(character, virtualKey);
            break;
        }
        case FocusOut:
            // Focus given to another window confirms an edit, like a click elsewhere.
            if (event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyInferior &&
                event.xfocus.detail != NotifyPointer)
                setFocusView(nullptr);
            break;
        case DestroyNotify:
            // The host destroyed its window with ours inside: never draw into it again.
            if (impl->windowSurface != nullptr) cairo_surface_destroy(impl->windowSurface);
            impl->windowSurface = nullptr;
            impl->window = 0;
            break;
        default:
            break;
        }
    }
}

void CFrame::idle() {
    handleEvents();
    deleteRetiredPopup();

    collectDamage();
    const bool whole = isDirty();
    for (const CRect& rect : damage)
        drawRect(context, rect);
    setDirty(false);
    if (impl->window == 0 || (damage.empty() && !impl->exposed)) {
        damage.clear();
        return;
    }
    if (impl->image != nullptr) {
        cairo_surface_flush(context->getImpl()->surface);
        if (impl->exposed || whole) damage.assign(1, CRect(0, 0, size.width(), size.height()));
        for (const CRect& rect : damage)
            XPutImage(impl->display, impl->window, impl->gc, impl->image, rect.left, rect.top,
                      rect.left, rect.top, static_cast<unsigned>(rect.width()),
                      static_cast<unsigned>(rect.height()));
    } else if (impl->windowSurface != nullptr) {
        cairo_t* cairo = cairo_create(impl->windowSurface);
        cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cairo, context->getImpl()->surface, 0, 0);
        cairo_paint(cairo);
        cairo_destroy(cairo);
        cairo_surface_flush(impl->windowSurface);
    }
    impl->exposed = false;
    damage.clear();
    XFlush(impl->display);
}
