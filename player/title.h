// The product's title line: at the top of the main screen and first in the
// footer banner of the screens with an input field.
#pragma once

inline constexpr const char kProductTitle[] = "Folderplay " MP3_VERSION " - a text-mode MP3 player";
