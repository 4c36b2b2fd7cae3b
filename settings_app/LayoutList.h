#pragma once
// What the settings program does with the user's layouts: the layouts installed (the "*.txt"
// files of the layout folder) in the order the menu shows them, the layouts in the list file,
// and adding or removing one. Names are shown and compared normalised: "english.txt" and
// "ENGLISH.TXT" are both "English".
#include <string>
#include <string_view>
#include <vector>

class LayoutSelection;

class LayoutList {
public:
    // The selection whose current and second layout a removal clears; it stores the list when
    // it is destroyed, so it must outlive nothing that still changes the list.
    explicit LayoutList(LayoutSelection& selection);

    // The names of the list file, in its order, normalised.
    std::vector<std::u16string> enabled_layouts() const;
    // The installed layouts: English first, Deutch second, the others sorted.
    std::vector<std::u16string> available_layouts() const;
    // Puts name at the end of the list (moving it there when it is listed already).
    void enable(std::u16string_view name);
    // Removes name (case ignored) from the list; returns the number of entries left. A list
    // file that cannot be read is left alone and gives 0.
    int disable(std::u16string_view name);

    // A file name ("ENGLISH.TXT") or a listed name as the menu shows it ("English").
    static std::u16string normalise(std::u16string_view name);

private:
    // The list without name, as file text, and the number of entries in it; false when the
    // list file cannot be read.
    bool list_without(std::u16string_view name, std::u16string& text, int& count);

    LayoutSelection& m_selection;
};
