#include "sound/uSapiSpeech.h"

bool InitSpeech() { return false; }
void SpeakText(const std::string&, bool) {}
bool IsSpeaking() { return false; }
void PurgeSpeechQueue() {}
void ShutdownSpeech() {}
