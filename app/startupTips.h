#pragma once

#include <QStringList>

// The tips that start-up hands to the tip of the day window, in order, each
// an HTML text with a level-1 heading. Links point into the project's
// documentation folder (see tipOfTheDay_c for how they are opened).
QStringList startupTips();
