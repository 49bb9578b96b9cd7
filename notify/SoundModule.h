#pragma once

#include <QString>
#include <functional>

// The chime of the notification windows. One player serves the whole program:
// a new chime cuts one that is still playing rather than overlapping it.
namespace SoundModule {

// The folder of the program, where Chime1.wav lives. Given once by main;
// never worked out here.
void SetProgramFolder(const QString &folder);
QString ProgramFolder();

// The program folder followed by Chime1.wav.
QString ChimePath();

// Starts the chime and returns at once. A missing or unreadable file, or no
// sound output at all, leaves the program silent and otherwise unaffected.
void PlayChime();

// Replaces what PlayChime does with the chime's path, so tests count chimes
// without sound. An empty function restores the real player.
using Player = std::function<void(const QString &chimePath)>;
void SetPlayer(Player player);

// The real player: points the one program-wide sound effect at the current
// default output and at the chime file, then plays it.
void PlayWithSoundEffect(const QString &chimePath);

} // namespace SoundModule
