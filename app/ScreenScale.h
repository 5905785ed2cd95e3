#pragma once
// Whole-number magnification of the screen. Everything is drawn at the logical 794 x 602 size;
// the window shows it magnified by a whole factor, with crisp unfiltered pixels, centred.

constexpr int MAX_WINDOW_SCALE = 8;

// The scale a window opens at for the "window scale" setting (1-8; 0 for automatic): the setting
// itself, or the largest whole scale whose window fits the work area (the screen without its
// panels) with room to spare for the window's frame. Never below 1.
int chooseWindowScale(int setting, int workAreaWidth, int workAreaHeight);

// Where the magnified picture stands in a window of the given size: the largest whole scale that
// fits (at least 1, so a window smaller than the picture shows its top left part) and the
// picture's top left corner, centred.
struct ScreenPlacement {
    int scale = 1;
    int x = 0, y = 0;  // from the window's top left corner
};
ScreenPlacement placeScreen(int windowWidth, int windowHeight);
