// The saver window object: plays the chosen clip on a thread of its own.
#pragma once

#include "host/ScreenSaverApp.h"

class CClipSaverWnd : public CScreenSaverWnd {
public:
};
