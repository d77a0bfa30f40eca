#pragma once

// Makes the application's built-in resources (":/qxwebserver.png") available.
// They live in the application library, whose resources a static link does
// not register by itself. May be called any number of times.
void initAppResources();
