// The start-up steps that main runs before the first song plays.
#pragma once

// Reads the logged-on user's name into UserName; on failure prints why at the
// cursor and goes on.
void lookUpUserName();

// Enters the folder that the command line named, before the terminal is
// taken: FOLDER itself, or the folder of SONG, whose short name is kept in
// givenSong so that it plays first. Either way the folder is then played as
// if the player had been started in it, and its path.txt is neither read nor
// written. A path that cannot be entered, or a file that its folder's search
// does not list as a song, ends the program with status 1 and one line on
// stderr, with nothing written.
void enterFolderFromCommandLine(const char* target);

// Decides the music folder: the working directory when it holds MP3 files or
// was named on the command line; otherwise the folder named in path.txt in
// the start directory, or the one the user types. Ends the program when the
// start directory's path does not fit its cell.
void settleMusicFolder();

// Makes the song named on the command line the one to play: its page becomes
// the page shown and played from, and num its slot. Without one, or when the
// scan no longer found it, play starts from the first song as usual.
void startFromGivenSong();
