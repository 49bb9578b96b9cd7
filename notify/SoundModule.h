#pragma once

#include <QString>
#include <functional>

// The chime of the notification windows. One player serves the whole program:
// a new chime cuts one that is still playing rather than overlapping it.
namespace SoundModule {

// The folder of the program, where Chime1.wav lives. Given once by main;
// never worked out here.
void SetProgramFolder(const QString &folder);

// The program folder followed by Chime1.wav.
QString ChimePath();

// Gets the chime ready before any alarm needs it: connects to the sound
// server and hands it the sound, so that the first chime starts with the
// minute rather than after the file has been read and a stream set up. Each
// chime does again whatever has changed since (a server that came up late or
// restarted, a chime file removed or put back).
void Prepare();

// Starts the chime and returns at once. Chime1.wav missing or unreadable
// plays the desktop sound theme's alarm sound instead, or where there is none
// the chime built into the program, and says so once on standard error. No
// sound output at all leaves the program silent and otherwise unaffected.
void PlayChime();

// Stops a chime that is playing (a snoozed alarm falls silent at once).
void StopChime();

// Replaces what PlayChime and StopChime do, so tests count chimes without
// sound. Empty functions restore the real player.
using Player = std::function<void(const QString &chimePath)>;
void SetPlayer(Player player, std::function<void()> stopper = {});

// The real player.
void Play(const QString &chimePath);

} // namespace SoundModule
