// The start-up steps that main runs before the first song plays.
#pragma once

// Reads the logged-on user's name into UserName; on failure prints why at the
// cursor and goes on.
void lookUpUserName();

// Decides the music folder: the working directory when it holds MP3 files;
// otherwise the folder named in path.txt in the start directory, or the one
// the user types. Ends the program when the start directory's path does not
// fit its cell.
void settleMusicFolder();
