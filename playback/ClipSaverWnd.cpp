#include "playback/ClipSaverWnd.h"
