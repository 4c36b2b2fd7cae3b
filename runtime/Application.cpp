#include "runtime/Application.h"
#include "runtime/CActiveScheduler.h"

Application::Application(HINSTANCE module, std::u16string_view applicationName)
    : m_module(module)
    , m_windowClassName(u"ZazizurClass_" + std::u16string(applicationName))
    , m_applicationName(applicationName)
{
    CoInitializeEx(nullptr, 0);
    if (s_instance)
        Fatal(u"instance != 0", u"Application::Application");
    s_instance = this;
    m_scheduler = std::make_unique<CActiveScheduler>(m_module, m_windowClassName);
}

Application::~Application()
{
    m_scheduler.reset();
    if (s_singleInstanceMutex) {
        ReleaseMutex(s_singleInstanceMutex);
        CloseHandle(s_singleInstanceMutex);
        s_singleInstanceMutex = nullptr;
    }
    s_instance = nullptr;
    CoUninitialize();
}
