#pragma once
// The input method's data for the life of its input-method object: the skin element types it
// registers, the user's layouts and the settings record. One per process.
#include "kbfiles/LayoutSelection.h"
#include "kbfiles/kbSettings.h"

#include <memory>
#include <string>
#include <vector>

class kbData {
public:
    // Registers the element types, then reads the layouts and the settings.
    kbData();
    // Stores the layout list and unregisters the element types.
    ~kbData();
    kbData(const kbData&) = delete;
    kbData& operator=(const kbData&) = delete;

    // The process's data object, or null.
    static kbData* instance();
    // Makes `data` the process's object; the previous one is destroyed first, so that the
    // new one can register the element types again.
    static void reset(std::unique_ptr<kbData> data = nullptr);
    static void make();

    LayoutSelection& layouts() { return *m_layouts; }
    kbSettings& settings() { return *m_settings; }

private:
    struct Registrations {
        Registrations();
        ~Registrations();
        std::vector<std::u16string> types;
    };
    Registrations m_registrations;
    std::unique_ptr<LayoutSelection> m_layouts;
    std::unique_ptr<kbSettings> m_settings;
};
