#pragma once

// The desktop's sound server, as far as can be told without talking to it.
namespace SoundServer {

// Qt's sound output connects to the sound server once, the first time anything
// asks for it, and never tries again. The program is often started before the
// server (at log-in), so it does not ask while the server's socket is plainly
// absent; the first chime after the server appears then finds it.
bool MayBeUp();

} // namespace SoundServer
