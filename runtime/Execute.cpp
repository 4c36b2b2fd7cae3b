#include "runtime/Execute.h"
#include "runtime/Log.h"
#include "runtime/Path.h"

#include <shellapi.h>

#include <string>

bool StartDeviceProgram(std::u16string_view path, std::u16string_view arguments)
{
    const std::u16string file(path);
    const std::u16string parameters(arguments);
    SHELLEXECUTEINFO info {};
    info.cbSize = sizeof info;
    info.lpVerb = u"open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteEx(&info) != FALSE;
}

bool ExecuteFile(std::u16string_view programPath, std::u16string_view parameters)
{
    std::u16string path = ExpandPath(programPath);
    Log().append(u"execute_file(").append(path).append(u"} {").append(parameters).append(u")\n");
    return StartDeviceProgram(path, parameters);
}
