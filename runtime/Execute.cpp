#include "runtime/Execute.h"
#include "runtime/Log.h"
#include "runtime/Path.h"

#include <shellapi.h>

#include <string>

bool ExecuteFile(std::u16string_view programPath, std::u16string_view parameters)
{
    std::u16string path = ExpandPath(programPath);
    std::u16string arguments(parameters);
    Log().append(u"execute_file(").append(path).append(u"} {").append(arguments).append(u")\n");
    SHELLEXECUTEINFO info {};
    info.cbSize = sizeof info;
    info.lpVerb = u"open";
    info.lpFile = path.c_str();
    info.lpParameters = arguments.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteEx(&info) != FALSE;
}
