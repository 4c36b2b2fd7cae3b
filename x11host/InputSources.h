#pragma once
// What the person at the desktop uses: a hardware keyboard, or a stylus or finger on the screen.
// XInput 2 raw events name the device each press came from, whatever window it went to.
//
// - A hardware key: a key that types (not a volume or power key) pressed on a keyboard other
//   than the core XTEST keyboard, through which this host's own key events (and other programs'
//   synthetic ones) arrive.
// - A touch: a touch on a direct-touch device, or a button pressed on a pointer that reports
//   absolute positions (a touch screen or a pen) or on an XTEST pointer (synthetic presses are
//   given at screen positions: touch bridges, automation); a mouse or touch pad moves
//   relatively and is neither.
#include <map>
#include <string>

typedef struct _XDisplay Display;

namespace x11host {

class InputSources {
public:
    enum class Source { Other, HardwareKeyboard, ScreenPointer };
    enum class Event { Nothing, HardwareKey, Touch };

    // Opens a connection of its own to the display named (null: DISPLAY).
    explicit InputSources(const char* display = nullptr);
    ~InputSources();
    InputSources(const InputSources&) = delete;
    InputSources& operator=(const InputSources&) = delete;

    // False (why says why) when the display has no XInput 2.2: nothing is reported then.
    bool ready(std::string& why) const;
    // The next press that tells which is in use; Nothing when there is none now.
    Event next();

    // How a slave device counts, from what it says of itself.
    struct Device {
        std::string name;
        bool keyboard = false;
        bool xtest = false; // an XTEST device, through which synthetic events come
        bool core = false;  // attached to the core master
        bool directTouch = false;
        bool absolute = false; // its x and y valuators report absolute positions
    };
    static Source Classify(const Device& device);
    // Whether a key's first keysym types: characters and editing keys, not vendor keys.
    static bool KeyTypes(unsigned long keysym);

private:
    void readDevices();

    Display* m_display = nullptr;
    int m_opcode = 0;
    std::string m_problem;
    std::map<int, Source> m_sources; // device id -> what it is
};

}
