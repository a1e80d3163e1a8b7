// Speech for the screen reader: one voice per process, built on espeak-ng,
// which is loaded at run time from the dll folder. Texts are queued and
// spoken by a worker thread, so no call here waits for speech. Where the
// library is missing every call does nothing and the program runs on silent.
// Called from the interface thread only.
#pragma once
#include <functional>
#include <string>

// Starts the voice; true at once when it is already running. A failure is
// one log line, and a later call tries again.
bool InitSpeech();

// Queues Text behind what is being said; with Purge, speech still queued or
// playing is dropped first. An empty text or a missing voice does nothing.
void SpeakText(const std::string& text, bool purge);

// True while queued text is being turned into sound or the sound still plays.
bool IsSpeaking();

// Stops the current and all queued speech.
void PurgeSpeechQueue();

// Stops the worker and releases the voice; InitSpeech may start it again.
void ShutdownSpeech();

// Speech is written to this WAV file (16-bit mono, the voice's own rate)
// instead of the sound card. Takes effect at the next InitSpeech, which
// starts the file empty; its header is kept valid after every piece of
// sound. An empty path returns to the sound card.
void SetSpeechWaveFile(const std::string& path);

// Sees each text handed to the voice and each purge (empty text, purge set),
// on the calling thread, before the worker does. Null removes it.
void SetSpeechObserver(std::function<void(const std::string& text, bool purge)> observer);
