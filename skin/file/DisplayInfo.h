#pragma once
// What the skin loader and the window owners need to know about the screen, read once.
struct DisplayInfo {
    int width = 0; // pixels
    int height = 0;
    int current_width = 0; // a second copy that owners update when the screen turns
    int current_height = 0;
    int orientation = 0; // 0, 1, 2, 3 for 0, 90, 180, 270 degrees
    int dpi = 96; // vertical logical pixels per inch

    // Reads the screen through the platform; a failed orientation query gives 0.
    static DisplayInfo query();
    // Turns the screen to 0...3 (0, 90, 180, 270 degrees); false when the platform refuses.
    static bool set_orientation(int orientation);
};
