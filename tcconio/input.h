// Reading typed input on top of the keyboard: the waits for "any key".
#pragma once

// Waits for one key and takes it whole: an extended key's prefix and its scan
// code both, so that no half of it is left for the screen that comes next.
void waitForWholeKey();
