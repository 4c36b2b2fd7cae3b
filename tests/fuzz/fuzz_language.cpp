// libFuzzer target: a language file of the settings program, loaded and shown in its menus.
#include "tests/fuzz/LanguageFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static FuzzSettingsProgram* program = [] {
        namespace fs = std::filesystem;
        fs::path folder = fs::path(FuzzDeviceRoot()) / "Program Files/Tarn/Magnikeys";
        fs::create_directories(folder);
        fs::copy(MK_DATA_DIR, folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        return new FuzzSettingsProgram;
    }();
    FuzzLanguage(*program, data, size);
    return 0;
}
