// One skin from several sources: the settings program's screens are compiled together with the
// keyboard's.
#include "tools/skinc/SkinSource.h"

#include <gtest/gtest.h>

namespace {

skinc::Skin Parse(const std::string& yaml, const std::string& name)
{
    return skinc::ParseYaml(yaml, name);
}

TEST(SkincMerge, NodesPicturesAndTablesOfEverySourceMakeOneSkin)
{
    std::vector<std::pair<std::string, skinc::Skin>> sources;
    sources.emplace_back("keyboard.yaml", Parse(
        "pictures:\n  - {name: keys, png: keys.png}\n"
        "nodes:\n  board: {type: image, src: !picture [keys, 0, 0, 4, 4], font: !font \"9 0 0 0 Tahoma\"}\n",
        "keyboard.yaml"));
    sources.emplace_back("menu.yaml", Parse(
        "pictures:\n  - {name: keys, png: other.png}\n  - {name: menu, png: menu.png}\n"
        "nodes:\n  Menu: {type: image, src: !picture [menu, 0, 0, 2, 2], font: !font \"9 0 0 0 Tahoma\", text: \"x\"}\n",
        "menu.yaml"));
    skinc::Skin skin = skinc::MergeSkins(std::move(sources));
    ASSERT_EQ(skin.nodes.size(), 2u);
    EXPECT_EQ(skin.nodes[0].first, u"board");
    EXPECT_EQ(skin.nodes[1].first, u"Menu");
    // One picture a name: the first source's file wins.
    ASSERT_EQ(skin.pictures.size(), 2u);
    EXPECT_EQ(skin.pictures[0].png, "keys.png");
    EXPECT_EQ(skin.pictures[1].name, u"menu");
    // It compiles, and both nodes are found in the binary.
    skinc::Skin back = skinc::ReadSkin(skinc::WriteSkin(std::move(skin)));
    EXPECT_EQ(back.nodes.size(), 2u);
    EXPECT_EQ(back.fonts.size(), 1u);
}

TEST(SkincMerge, ANodeDefinedTwiceNamesBothSources)
{
    std::vector<std::pair<std::string, skinc::Skin>> sources;
    sources.emplace_back("a.yaml", Parse("nodes:\n  Menu: {type: node}\n", "a.yaml"));
    sources.emplace_back("b.yaml", Parse("nodes:\n  Menu: {type: color}\n", "b.yaml"));
    try {
        skinc::MergeSkins(std::move(sources));
        FAIL() << "accepted a node twice";
    } catch (const skinc::Error& e) {
        EXPECT_EQ(std::string(e.what()), "b.yaml: node \"Menu\" is also defined in a.yaml");
    }
}

}
