#include "app/ScreenScale.h"

#include <algorithm>

#include "app/Canvas.h"

int chooseWindowScale(int setting, int workAreaWidth, int workAreaHeight) {
    if (setting >= 1 && setting <= MAX_WINDOW_SCALE) return setting;
    // Room to spare: a tenth of each side is left for the frame, title bar and breathing space.
    int scale = 1;
    for (int s = 2; s <= MAX_WINDOW_SCALE; ++s)
        if (WINDOW_WIDTH * s * 10 <= workAreaWidth * 9 && WINDOW_HEIGHT * s * 10 <= workAreaHeight * 9)
            scale = s;
    return scale;
}

ScreenPlacement placeScreen(int windowWidth, int windowHeight) {
    ScreenPlacement p;
    p.scale = std::max(1, std::min(windowWidth / WINDOW_WIDTH, windowHeight / WINDOW_HEIGHT));
    p.x = std::max(0, (windowWidth - WINDOW_WIDTH * p.scale) / 2);
    p.y = std::max(0, (windowHeight - WINDOW_HEIGHT * p.scale) / 2);
    return p;
}
