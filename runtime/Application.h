#pragma once
// The application core: one per process. It names the process (module, application name,
// window class name), initialises COM for its thread and owns the active-object scheduler.
#include "runtime/Singleton.h"

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

class CActiveScheduler;

class Application : public Singleton<Application> {
public:
    Application(HINSTANCE module, std::u16string_view applicationName);
    ~Application() override;

    // The process's core; null before the first construction and after destruction.
    static Application* instance() { return s_instance; }

    CActiveScheduler& scheduler() { return *m_scheduler; }
    HINSTANCE module() const { return m_module; }
    const std::u16string& window_class_name() const { return m_windowClassName; }
    const std::u16string& application_name() const { return m_applicationName; }

    // The single-instance mutex of a program that keeps one (none in the input method): held
    // from the single-instance test until the main window exists; the core's destruction
    // releases and closes one that is still held.
    static HANDLE single_instance_mutex() { return s_singleInstanceMutex; }
    static void set_single_instance_mutex(HANDLE mutex) { s_singleInstanceMutex = mutex; }

private:
    HINSTANCE m_module;
    std::u16string m_windowClassName;
    std::u16string m_applicationName;
    std::unique_ptr<CActiveScheduler> m_scheduler;

    static inline Application* s_instance = nullptr;
    static inline HANDLE s_singleInstanceMutex = nullptr;
};
