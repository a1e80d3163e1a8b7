// Speech for the screen reader. No voice is available yet: every call does
// nothing.
#pragma once
#include <string>

bool InitSpeech();
void SpeakText(const std::string& text, bool purge);
bool IsSpeaking();
void PurgeSpeechQueue();
void ShutdownSpeech();
