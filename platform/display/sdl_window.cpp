// The SDL2 back end: the device screen in a host window, scaled by a whole factor to suit the
// host's screen; the left mouse button (or a touch) is the stylus, the host keyboard gives the
// device's hardware keys and text.
#include "display.h"
#include "linux/text/host_text.h"

#include <winuser.h>

#include <SDL.h>

#include <cstdlib>

namespace display {

namespace {

int virtualKeyOf(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return VK_F1 + (key - SDLK_F1);
    switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_INSERT:
        return VK_INSERT;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_PAGEUP:
        return VK_PRIOR;
    case SDLK_PAGEDOWN:
        return VK_NEXT;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    default:
        return 0;
    }
}

class SdlWindow final : public Backend {
public:
    SdlWindow(SDL_Window* window, SDL_Renderer* renderer)
        : m_window(window)
        , m_renderer(renderer)
    {
    }

    ~SdlWindow() override
    {
        if (m_texture)
            SDL_DestroyTexture(m_texture);
        SDL_DestroyRenderer(m_renderer);
        SDL_DestroyWindow(m_window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    const char* name() const override { return "sdl"; }

    void present(const uint16_t* pixels, int width, int height, int pitch) override
    {
        if (!m_texture || width != m_width || height != m_height) {
            if (m_texture)
                SDL_DestroyTexture(m_texture);
            m_texture = SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, width, height);
            SDL_RenderSetLogicalSize(m_renderer, width, height);
            if (m_width && (width != m_width || height != m_height)) {
                int scale = scaleFor(width, height);
                SDL_SetWindowSize(m_window, width * scale, height * scale);
            }
            m_width = width;
            m_height = height;
        }
        if (!m_texture)
            return;
        SDL_UpdateTexture(m_texture, nullptr, pixels, pitch * 2);
        show();
    }

    bool poll(InputEvent& event) override
    {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            event = InputEvent {};
            switch (e.type) {
            case SDL_QUIT:
                event.kind = InputEvent::Kind::Closed;
                return true;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                if (e.button.button != SDL_BUTTON_LEFT)
                    continue;
                event.kind = e.type == SDL_MOUSEBUTTONDOWN ? InputEvent::Kind::StylusDown : InputEvent::Kind::StylusUp;
                event.x = e.button.x;
                event.y = e.button.y;
                return true;
            case SDL_MOUSEMOTION:
                if (!(e.motion.state & SDL_BUTTON_LMASK))
                    continue; // a stylus does not hover
                event.kind = InputEvent::Kind::StylusMove;
                event.x = e.motion.x;
                event.y = e.motion.y;
                return true;
            case SDL_KEYDOWN:
            case SDL_KEYUP:
                event.virtualKey = virtualKeyOf(e.key.keysym.sym);
                if (!event.virtualKey)
                    continue;
                event.kind = e.type == SDL_KEYDOWN ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
                return true;
            case SDL_TEXTINPUT:
                event.kind = InputEvent::Kind::Text;
                event.text = sim::toUtf16(e.text.text);
                return true;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED && m_texture)
                    show();
                continue;
            default:
                continue;
            }
        }
        return false;
    }

    static int scaleFor(int width, int height)
    {
        SDL_DisplayMode mode;
        int scale = 1;
        if (SDL_GetDesktopDisplayMode(0, &mode) == 0)
            while (width * (scale + 1) <= mode.w * 9 / 10 && height * (scale + 1) <= mode.h * 85 / 100 && scale < 4)
                ++scale;
        return scale;
    }

private:
    // The last frame, on black where the window's shape leaves borders around it.
    void show()
    {
        SDL_SetRenderDrawColor(m_renderer, 0, 0, 0, 255);
        SDL_RenderClear(m_renderer);
        SDL_RenderCopy(m_renderer, m_texture, nullptr, nullptr);
        SDL_RenderPresent(m_renderer);
    }

    SDL_Window* m_window;
    SDL_Renderer* m_renderer;
    SDL_Texture* m_texture = nullptr;
    int m_width = 0;
    int m_height = 0;
};

bool available()
{
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x || !*x) && (!wayland || !*wayland))
        return false;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

std::unique_ptr<Backend> create(int width, int height)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return nullptr;
    int scale = SdlWindow::scaleFor(width, height);
    SDL_Window* window = SDL_CreateWindow("pocketsim", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
        width * scale, height * scale, SDL_WINDOW_RESIZABLE);
    if (!window) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, 0);
    if (!renderer)
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (!renderer) {
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_RenderSetLogicalSize(renderer, width, height);
    SDL_StartTextInput();
    return std::make_unique<SdlWindow>(window, renderer);
}

}

const Bootstrap sdlBootstrap { "sdl", available, create };

}
