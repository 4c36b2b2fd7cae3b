// Reading an element and its subtree from the skin.
#include "skin/elements/Element.h"

#include "skin/elements/ElementRegistry.h"
#include "skin/file/Properties.h"
#include "skin/elements/VisibilityAnimation.h"
#include "skin/file/skinio.h"

void Element::load(const Properties& props, const ElementRecord& record)
{
    m_id = props.get_string(record, u"id", u"");

    m_anchor_x = AnchorMode::BOTH_SIDE;
    m_anchor_y = AnchorMode::BOTH_SIDE;
    if (auto mode = anchor_mode_from_name(props.get_string(record, u"anchor_x", u"")))
        m_anchor_x = *mode;
    if (auto mode = anchor_mode_from_name(props.get_string(record, u"anchor_y", u"")))
        m_anchor_y = *mode;

    if (props.point_count(record) > 0) {
        m_border_min = props.get_point(record, u"border_min", POINT{0, 0});
        m_design_size = props.get_point(record, u"design_size", POINT{0, 0});
        m_border_max = props.get_point(record, u"border_max", POINT{0, 0});
    }

    if (props.integer_count(record) + props.font_count(record) > 0) {
        m_table_ratio = props.get_int(record, u"table_ratio", 0);
        bool cache = props.get_int(record, u"cache", 0) != 0;
        if (cache)
            set_cache(true, props.get_int(record, u"cache_alpha", -1));
        else
            set_cache(false);
    }

    load_children(props, record);

    std::u16string animation = props.get_string(record, u"visibility_animation", u"");
    if (!animation.empty())
        m_animation = VisibilityAnimation::from_name(animation);
    invalidate_layout();
}

void Element::load_children(const Properties& props, const ElementRecord& record)
{
    size_t count = props.child_count(record);
    for (size_t i = 0; i < count; ++i) {
        const ElementRecord& child_record = props.child(record, i);
        std::u16string type = props.get_string(child_record, u"type", u"");
        Element* child = ElementRegistry::instance().create(type, *this);
        child->load(props, child_record);
    }
}

bool Element::load_from_skin(const Properties& props, std::u16string_view node_name)
{
    const ElementRecord* record = props.find_node(node_name);
    if (!record)
        return false;
    destroy_children();
    load(props, *record);
    invalidate_layout();
    return true;
}

Element& Element::require_child(std::u16string_view id) const
{
    Element* child = find_child(id);
    if (!child)
        throw skinio::NodeNotFound{m_id, std::u16string(id)};
    return *child;
}
