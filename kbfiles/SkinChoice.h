#pragma once
// Which skin file the keyboard and its settings program load: the default skin beside them,
// unless the registry names another (the value "Skin" under
// HKEY_CURRENT_USER\Software\Tarn\Magnikeys, a path as the programs write them). A desktop host
// names there the skin it compiled for its screen; both programs then show at the same scale.
#include <string>
#include <string_view>

inline constexpr char16_t kSkinChoiceKey[] = u"HKEY_CURRENT_USER\\Software\\Tarn\\Magnikeys";
inline constexpr char16_t kSkinChoiceValue[] = u"Skin";

// The device path of the skin to load: the registry's choice, else defaultPath; both expanded.
std::u16string ChosenSkinPath(std::u16string_view defaultPath);
