#include "kbfiles/SkinChoice.h"

#include "runtime/Path.h"
#include "runtime/Registry.h"

std::u16string ChosenSkinPath(std::u16string_view defaultPath)
{
    std::u16string chosen;
    if (RegReadText(kSkinChoiceKey, kSkinChoiceValue, chosen) && !chosen.empty())
        return ExpandPath(chosen);
    return ExpandPath(defaultPath);
}
