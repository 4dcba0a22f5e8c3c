#pragma once

// Connects the map screen's calls to the screens that answer them: the map
// menu, the tutorials, the building screen, the saved games and the story
// event driver. Called once at start-up, after the screens are created.
void InstallMapScreenHooks();
