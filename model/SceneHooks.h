// The map scene services the world rules call. The game installs its map
// scene here at start-up; without one (headless runs, tests) every call does
// nothing.
#pragma once

#include <cstdint>

class TSceneHooks {
public:
    virtual ~TSceneHooks() = default;

    // The army's model on the strategic map is rebuilt from its leader when
    // the leader's type or look changed.
    virtual void UpdateArmyModel(int32_t army) { (void)army; }
};

// The map scene the game installed, or the silent default. Never null.
TSceneHooks& SceneHooks();
// Installs a map scene (nullptr restores the silent default).
void SetSceneHooks(TSceneHooks* hooks);
