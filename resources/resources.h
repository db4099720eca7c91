#pragma once
// The drawn images register themselves when the `resources` object library is
// linked into an executable. Code that only reaches the library through a
// static library can call this to pull the images in; repeated calls are
// harmless.

void initTervalResources();
