#pragma once
// Whether the library may be unloaded: no object of it lives (class factories,
// objects, their controls) and no caller holds a server lock.
namespace tx::shell::module {

void objectCreated();
void objectDestroyed();
void lock(bool on);
bool canUnload();
int liveObjects();

} // namespace tx::shell::module
