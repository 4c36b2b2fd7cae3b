#include "skin/elements/Align.h"

HAlign halign_from_name(std::u16string_view name)
{
    if (name == u"LEFT")
        return HAlign::LEFT;
    if (name == u"RIGHT")
        return HAlign::RIGHT;
    if (name == u"JUSTIFY")
        return HAlign::JUSTIFY;
    return HAlign::CENTER;
}

VAlign valign_from_name(std::u16string_view name)
{
    if (name == u"TOP")
        return VAlign::TOP;
    if (name == u"BOTTOM")
        return VAlign::BOTTOM;
    return VAlign::VCENTER;
}
