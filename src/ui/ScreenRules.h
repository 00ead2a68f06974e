#pragma once

namespace TW {

// What the screen the program runs on asks of its windows' layouts.
class ScreenRules
{
public:
    // True when the default screen is 800 pixels high or less; the main
    // window and its panels then use compact layouts. Usable before an
    // application object exists (false without a screen).
    static bool isLowResolutionScreen();
    // The rule itself, for a screen height in pixels.
    static bool isLowResolutionHeight(int screenHeight);
};

} // namespace TW
