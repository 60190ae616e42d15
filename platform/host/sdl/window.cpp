// The desktop window: the screen, the stylus, the keys, and the main loop's wait.
//
// Implements: a window showing the 240 x 320 screen at a whole scale factor (nearest neighbour),
// resizable and maximisable (the screen drawn at the largest whole factor that fits, centred on a
// quiet margin),
// frames shown at their message time + the audio latency (so a beat's flash is seen when its
// click is heard), the mouse as the stylus (held and captured while the button is down), keys as
// virtual-key codes, the close button, a wait that blocks until an event, a due frame or the
// core's deadline, the title and the raise request. The window destroyed by another X client (a
// window manager's or a tool's "destroy") ends the program as closing it does: the X errors about the
// window that is gone are taken, not left to Xlib's default, which would end the process at once.
// Leaves out: the right and middle buttons, the wheel, text input.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "sdl_host.h"

namespace sdlhost {

namespace {

constexpr int kWidth = host::kScreenWidth;
constexpr int kHeight = host::kScreenHeight;
constexpr int kFrameSlots = 8;
// The margin round the screen in a window larger than it: a dark grey that draws no eye.
constexpr std::uint8_t kMargin[3] = {0x3A, 0x3D,
                                     0x40};  // frames waiting for their time (the latency holds two or three)

// Xlib, as SDL has loaded it (SDL opens the library itself; we only look its functions up).
using XErrorHandlerFn = int (*)(Display *, XErrorEvent *);
struct Xlib {
    Display *display = nullptr;
    unsigned long window = 0;
    XErrorHandlerFn (*setErrorHandler)(XErrorHandlerFn) = nullptr;
    XErrorHandlerFn previous = nullptr;
    bool windowGone = false;  // destroyed by another client: nothing more is drawn
    void *library = nullptr;
} xlib;

int OnXError(Display *display, XErrorEvent *error) {
    if (error->resourceid == xlib.window || xlib.windowGone) {
        if (!xlib.windowGone) {
            xlib.windowGone = true;
            Trace("window destroyed by another client");
            PushUserEvent(kUserClose);
        }
        return 0;
    }
    return xlib.previous ? xlib.previous(display, error) : 0;
}

void WatchXErrors(SDL_Window *window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    void *library = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (!library) return;
    xlib.setErrorHandler = reinterpret_cast<XErrorHandlerFn (*)(XErrorHandlerFn)>(dlsym(library, "XSetErrorHandler"));
    if (!xlib.setErrorHandler) return;
    xlib.display = info.info.x11.display;
    xlib.window = info.info.x11.window;
    xlib.library = library;
    xlib.previous = xlib.setErrorHandler(OnXError);
}

struct Frame {
    std::int64_t dueNs;
    std::uint32_t messageTime;
    int slot;
};

struct Screen {
    SDL_Window *window = nullptr;
    SDL_Renderer *renderer = nullptr;
    SDL_Texture *texture = nullptr;
    bool shown = false;
    bool stylusDown = false;
    std::vector<std::uint32_t> slots[kFrameSlots];
    bool slotUsed[kFrameSlots] = {};
    std::vector<Frame> queue;  // in order of due time
} screen;

void Draw() {
    if (!screen.renderer || !screen.texture || xlib.windowGone) return;
    SDL_SetRenderDrawColor(screen.renderer, kMargin[0], kMargin[1], kMargin[2], 255);
    SDL_RenderClear(screen.renderer);
    SDL_RenderCopy(screen.renderer, screen.texture, nullptr, nullptr);
    SDL_RenderPresent(screen.renderer);
}

}  // namespace

int ChooseScale(int usableWidth, int usableHeight, const char *override, std::string *warning) {
    if (override && *override) {
        char *end = nullptr;
        long value = std::strtol(override, &end, 10);
        if (end && *end == '\0' && value >= 1 && value <= 16) return int(value);
        if (warning)
            *warning = std::string("CADENZO_SCALE=") + override + " is not a whole number from 1 to 16; ignored";
    }
    int scale = std::min(usableWidth / kWidth, usableHeight / kHeight);
    return std::max(scale, 1);
}

bool OpenWindow(std::string *error) {
    // The work area without the desktop's panels; the window's frame is the window manager's.
    SDL_Rect usable{0, 0, kWidth, kHeight};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = SDL_Rect{0, 0, kWidth, kHeight};
    std::string warning;
    int scale = ChooseScale(usable.w, usable.h, std::getenv("CADENZO_SCALE"), &warning);
    if (!warning.empty()) std::fprintf(stderr, "cadenzo: %s\n", warning.c_str());
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    screen.window = SDL_CreateWindow("Cadenzo", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth * scale,
                                     kHeight * scale, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!screen.window) {
        *error = std::string("cannot open a window: ") + SDL_GetError();
        return false;
    }
    // A 240 x 320 picture scaled by a whole factor needs no graphics card: the software renderer
    // starts faster and keeps the process small (an OpenGL renderer, also behind an accelerated window
    // surface, loads a whole shader compiler: 100 MB instead of 17).
    screen.renderer = SDL_CreateRenderer(screen.window, -1, SDL_RENDERER_SOFTWARE);
    if (!screen.renderer) screen.renderer = SDL_CreateRenderer(screen.window, -1, 0);
    if (!screen.renderer) {
        *error = std::string("cannot draw in the window: ") + SDL_GetError();
        return false;
    }
    SDL_SetWindowMinimumSize(screen.window, kWidth, kHeight);
    // The renderer keeps the screen at a whole factor, centred, whatever the window's size, and
    // gives mouse events in screen pixels.
    SDL_RenderSetLogicalSize(screen.renderer, kWidth, kHeight);
    SDL_RenderSetIntegerScale(screen.renderer, SDL_TRUE);
    screen.texture =
        SDL_CreateTexture(screen.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, kWidth, kHeight);
    if (!screen.texture) {
        *error = std::string("cannot draw in the window: ") + SDL_GetError();
        return false;
    }
    for (auto &slot : screen.slots) slot.resize(std::size_t(kWidth) * kHeight);
    SDL_StopTextInput();
    WatchXErrors(screen.window);
    Trace("window %dx%d scale %d", kWidth * scale, kHeight * scale, scale);
    return true;
}

bool WindowGone() { return xlib.windowGone; }

void CloseWindow() {
    if (screen.stylusDown) SDL_CaptureMouse(SDL_FALSE);
    if (screen.texture) SDL_DestroyTexture(screen.texture);
    if (screen.renderer) SDL_DestroyRenderer(screen.renderer);
    if (screen.window) SDL_DestroyWindow(screen.window);
    screen = Screen{};
    xlib.display = nullptr;
}

void SetIcon(const std::uint32_t *pixels, int width, int height) {
    if (!screen.window || !pixels || width <= 0 || height <= 0) return;
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t *>(pixels), width, height, 32,
                                                              width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    SDL_SetWindowIcon(screen.window, surface);
    SDL_FreeSurface(surface);
}

bool SetIcons(const std::vector<IconImage> &images) {
    if (!xlib.display || !xlib.library || xlib.windowGone || images.empty()) return false;
    auto internAtom = reinterpret_cast<Atom (*)(Display *, const char *, Bool)>(dlsym(xlib.library, "XInternAtom"));
    auto changeProperty =
        reinterpret_cast<int (*)(Display *, Window, Atom, Atom, int, int, const unsigned char *, int)>(
            dlsym(xlib.library, "XChangeProperty"));
    auto flush = reinterpret_cast<int (*)(Display *)>(dlsym(xlib.library, "XFlush"));
    if (!internAtom || !changeProperty || !flush) return false;
    // _NET_WM_ICON: width, height, then the pixels, for each picture; Xlib takes 32-bit items as longs.
    std::vector<unsigned long> data;
    for (const IconImage &image : images) {
        if (image.size <= 0 || image.pixels.size() != std::size_t(image.size) * std::size_t(image.size)) continue;
        data.push_back(static_cast<unsigned long>(image.size));
        data.push_back(static_cast<unsigned long>(image.size));
        data.insert(data.end(), image.pixels.begin(), image.pixels.end());
    }
    Atom property = internAtom(xlib.display, "_NET_WM_ICON", False);
    if (data.empty() || property == None) return false;
    changeProperty(xlib.display, xlib.window, property, XA_CARDINAL, 32, PropModeReplace,
                   reinterpret_cast<const unsigned char *>(data.data()), int(data.size()));
    flush(xlib.display);
    Trace("window icons %zu", images.size());
    return true;
}

void RedrawWindow() { Draw(); }

bool PresentDue(std::int64_t nowNs, std::int64_t *nextDueNs) {
    // The newest frame whose time has come is shown; older ones it replaces are never seen.
    std::size_t due = 0;
    while (due < screen.queue.size() && screen.queue[due].dueNs <= nowNs) ++due;
    if (due > 0) {
        const Frame &frame = screen.queue[due - 1];
        if (screen.texture) {
            SDL_UpdateTexture(screen.texture, nullptr, screen.slots[frame.slot].data(), kWidth * 4);
            if (!screen.shown) {
                SDL_ShowWindow(screen.window);
                screen.shown = true;
                MayTellAboutSound();
            }
            Draw();
            if (Tracing()) Trace("present %u %lld", frame.messageTime, (long long)(NowNs() / 1000));
        }
        for (std::size_t i = 0; i < due; ++i) screen.slotUsed[screen.queue[i].slot] = false;
        screen.queue.erase(screen.queue.begin(), screen.queue.begin() + std::ptrdiff_t(due));
    }
    if (screen.queue.empty()) return false;
    *nextDueNs = screen.queue.front().dueNs;
    return true;
}

namespace {

bool Translate(const SDL_Event &event, host::Event *out) {
    switch (event.type) {
    case SDL_QUIT: out->kind = host::Event::Close; return true;
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            out->kind = host::Event::Close;
            return true;
        }
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) Draw();
        return false;
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button != SDL_BUTTON_LEFT || screen.stylusDown) return false;
        // The margin of a large window is not the screen: the stylus touches nothing there.
        if (event.button.x < 0 || event.button.y < 0 || event.button.x >= kWidth || event.button.y >= kHeight)
            return false;
        screen.stylusDown = true;
        SDL_CaptureMouse(SDL_TRUE);  // the stylus stays with the window until it is lifted
        *out = host::Event{host::Event::StylusDown};
        out->x = event.button.x;
        out->y = event.button.y;
        return true;
    case SDL_MOUSEMOTION:
        if (!screen.stylusDown) return false;  // a stylus does not hover
        *out = host::Event{host::Event::StylusMove};
        out->x = event.motion.x;
        out->y = event.motion.y;
        return true;
    case SDL_MOUSEBUTTONUP:
        if (event.button.button != SDL_BUTTON_LEFT || !screen.stylusDown) return false;
        screen.stylusDown = false;
        SDL_CaptureMouse(SDL_FALSE);
        *out = host::Event{host::Event::StylusUp};
        out->x = event.button.x;
        out->y = event.button.y;
        return true;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        unsigned key = VirtualKey(event.key.keysym.sym);
        if (!key) return false;
        *out = host::Event{event.type == SDL_KEYDOWN ? host::Event::KeyDown : host::Event::KeyUp};
        out->key = key;
        out->ctrl = (event.key.keysym.mod & KMOD_CTRL) != 0;
        out->shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
        out->alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        return true;
    }
    default:
        if (UserEventType() && event.type == UserEventType()) {
            if (event.user.code == kUserForeground) {
                Trace("foreground");
                out->kind = host::Event::Foreground;
                return true;
            }
            if (event.user.code == kUserSound) {
                out->kind = host::Event::SoundChanged;
                return true;
            }
            if (event.user.code == kUserClose) {
                Trace("close signal");
                out->kind = host::Event::Close;
                return true;
            }
        }
        return false;
    }
}

}  // namespace

}  // namespace sdlhost

bool host::WaitEvent(bool hasDeadline, std::uint32_t deadline, Event *out) {
    using namespace sdlhost;
    for (;;) {
        TraceAudio();
        std::int64_t now = NowNs();
        std::int64_t wake = INT64_MAX;
        std::int64_t frameDue = 0;
        if (PresentDue(now, &frameDue)) wake = frameDue;
        if (hasDeadline) {
            if (std::int32_t(host::Now() - deadline) >= 0) return false;
            wake = std::min(wake, MessageTimeNs(deadline));
        }
        FlushTrace();
        SDL_Event event;
        int waitMs = -1;
        // Round up: waking a little late is harmless, waking early only costs another turn.
        if (wake != INT64_MAX)
            waitMs =
                int(std::min<std::int64_t>(std::max<std::int64_t>(0, (wake - NowNs() + 999999) / 1000000), 1 << 30));
        AccessibilityBeforeWait(&waitMs);
        int got = waitMs < 0 ? SDL_WaitEvent(&event) : SDL_WaitEventTimeout(&event, waitMs);
        // A screen reader's request is served here; an action it asked for is run by the message loop.
        bool actions = AccessibilityAfterWait();
        *out = Event{Event::Close};
        if (got && Translate(event, out)) {
            out->time = host::Now();
            return true;
        }
        if (actions) return false;
    }
}

void sdlhost::ScreenToWindow(int x, int y, int *windowX, int *windowY) {
    *windowX = x;
    *windowY = y;
    if (screen.renderer) SDL_RenderLogicalToWindow(screen.renderer, float(x), float(y), windowX, windowY);
}

void sdlhost::WindowPosition(int *x, int *y) {
    *x = *y = 0;
    if (screen.window) SDL_GetWindowPosition(screen.window, x, y);
}

void host::Present(const std::uint32_t *pixels, std::uint32_t messageTime) {
    using namespace sdlhost;
    if (!screen.window || !pixels) return;
    // Seen when its sounds are heard: a latency after the message, and the time the output lost later.
    std::int64_t due =
        MessageTimeNs(messageTime) + std::int64_t(LatencyMs()) * 1000000 + std::max<std::int64_t>(AudioLagNs(), 0);
    int slot = -1;
    for (int i = 0; i < kFrameSlots; ++i) {
        if (!screen.slotUsed[i]) {
            slot = i;
            break;
        }
    }
    if (slot < 0) {
        // Every slot waits: the newest waiting frame is replaced by this one.
        Frame &last = screen.queue.back();
        last.dueNs = std::max(last.dueNs, due);
        last.messageTime = messageTime;
        slot = last.slot;
    } else {
        screen.slotUsed[slot] = true;
        Frame frame{due, messageTime, slot};
        auto at = std::upper_bound(screen.queue.begin(), screen.queue.end(), due,
                                   [](std::int64_t d, const Frame &f) { return d < f.dueNs; });
        screen.queue.insert(at, frame);
    }
    std::memcpy(screen.slots[slot].data(), pixels, std::size_t(kWidth) * kHeight * 4);
}

// SDL keeps the desktop's screen saver off while its window is open (its default), ticking or not.
void host::KeepScreenOn(bool) {}

void host::SetTitle(const std::u16string &title) {
    using namespace sdlhost;
    if (!screen.window || xlib.windowGone) return;
    std::string text = Utf8(title);
    if (text.empty() || text == "Cadenzo")
        text = "Cadenzo";
    else
        text = text + " - Cadenzo";
    SDL_SetWindowTitle(screen.window, text.c_str());
}

void host::RaiseWindow() {
    using namespace sdlhost;
    if (!screen.window || xlib.windowGone) return;
    if (SDL_GetWindowFlags(screen.window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(screen.window);
    SDL_ShowWindow(screen.window);
    screen.shown = true;
    SDL_RaiseWindow(screen.window);
}
