// Our small application framework: the classes the program's windows and dialogs use.
#pragma once

#include "framework/AfxApp.h"
#include "framework/AfxColl.h"
#include "framework/AfxDC.h"
#include "framework/AfxDialog.h"
#include "framework/AfxDlgs.h"
#include "framework/AfxGdi.h"
#include "framework/AfxObject.h"
#include "framework/AfxString.h"
#include "framework/AfxWin.h"
