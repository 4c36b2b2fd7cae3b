#pragma once
// The key map a desktop keyboard prints with --keymap, before "ready" and again on a line
// "keymap" on its input: one line a key, "index id label left top right bottom" (a label may
// hold spaces), in screen pixels.
#include "tests/support/ChildProcess.h"

#include <string>
#include <vector>

struct Key {
    std::string label;
    int left = 0, top = 0, right = 0, bottom = 0;
    int cx() const { return (left + right) / 2; }
    int cy() const { return (top + bottom) / 2; }
};

// The keys among lines from `from` up to "ready".
std::vector<Key> parseKeyMap(const std::vector<std::string>& lines, size_t from);
// The key that shows label (anyCase: failing that, one that shows it in other case); a test
// failure and an empty key when none does.
const Key& keyShowing(const std::vector<Key>& keys, const std::string& label, bool anyCase = false);
// The key map again, after the keyboard changed its keys.
void refreshKeys(ChildProcess& host, std::vector<Key>& keys);
// Asks for the key map until a key shows label (for 15 s): the keyboard changes its keys when it
// has handled the tap, which may come after the question.
bool waitForKey(ChildProcess& host, std::vector<Key>& keys, const std::string& label);
