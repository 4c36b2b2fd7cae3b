#pragma once
// Stylus scripts: one command a line, run in virtual time against the device.
//   down X Y | move X Y | up | tap X Y [MS] | wait MS | type TEXT | press KEY
//   shot NAME | expect-text TEXT | rotate | sip show|hide | start PATH [ARGS] | # comment
//   key LABEL [MS] | hold LABEL | stroke left|right|up|down [LABEL]   (keys of the keyboard)
//   reboot   (the device's programs end, files and registry stay, the device boots again)
// TEXT is the rest of the line; "\n" in it stands for a line break and "\\" for a backslash.
#include <functional>
#include <iosfwd>
#include <string>

namespace pocketsim {

class Device;

struct ScriptOptions {
    std::string shotFolder = "."; // where "shot NAME" writes NAME.png
    // Switches the device off and boots it again; the device after it, or null when it failed.
    std::function<Device*()> reboot;
};

class Script {
public:
    Script(Device& device, ScriptOptions options);
    // Runs every line; false at the first line that fails, with the reason in error().
    bool run(std::istream& in, const std::string& sourceName);
    const std::string& error() const { return m_error; }

private:
    struct Line;
    // The commands: a name and the function that runs a line of it.
    struct Command {
        const char* name;
        bool (Script::*run)(Line&);
    };
    static const Command* findCommand(const std::string& name);

    bool line(const std::string& text);
    // One function a command; each reports a wrong or failing line through fail().
    bool down(Line& line);
    bool move(Line& line);
    bool up(Line& line);
    bool tap(Line& line);
    bool wait(Line& line);
    bool type(Line& line);
    bool press(Line& line);
    bool shot(Line& line);
    bool expectText(Line& line);
    bool reboot(Line& line);
    bool rotate(Line& line);
    bool sip(Line& line);
    bool key(Line& line);
    bool hold(Line& line);
    bool stroke(Line& line);
    bool startProgram(Line& line);
    bool switchInputMethod(Line& line);
    bool fail(const std::string& why);
    static bool programLine(const std::string& line, std::u16string& path, std::u16string& arguments);
    bool start(const std::u16string& path, const std::u16string& arguments);
    void settle();

    Device* m_device;
    ScriptOptions m_options;
    std::string m_source;
    int m_lineNumber = 0;
    std::string m_error;
};

}
