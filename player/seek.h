// The seek keys: "." and "," jump 5 s forward and back in the song that
// plays, ">" and "<" 60 s. Keys pressed in a quick run add up into one jump,
// so that a held key does not make the song stutter; the run jumps once no
// seek key has come for a moment, or at once when another key comes.
#pragma once

constexpr long long kShortSeekMilliseconds = 5000;
constexpr long long kLongSeekMilliseconds = 60000;
// How long a run waits for its next key.
constexpr unsigned kSeekRunMilliseconds = 200;

// The key's step, in milliseconds, negative for back; 0 for a key that is no
// seek key.
long long seekStepOf(char key);
// Adds a seek key's step to the run.
void addToSeekRun(long long milliseconds);
// Each pass of the main screen: the run jumps once its time is up.
void seekTick();
// Jumps the run now, if there is one.
void endSeekRun();
// The idle wait of a pass, shortened so that the run jumps on time.
unsigned seekIdleWait(unsigned idleMilliseconds);
