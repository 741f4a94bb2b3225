// The music-folder prompt.
#pragma once

// Asks for a music folder and records it in path.txt. Returns 0 when a
// folder was accepted, -1 when the user left with Esc.
int enter_path();
