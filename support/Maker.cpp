#include "support/Maker.h"

const char kMakerWord[] = "Tollvane";
const char kHomePageUrl[] = "https://www.tollvane.example/";
