// The libssh2 binding: the library is not linked but loaded at run time from
// the dll folder beside the program, and reached through a table of function
// pointers. Only the SSH transport uses it. The handful of wrappers fill in
// the fixed arguments of libssh2's extended calls.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <string>

// libssh2's opaque handles.
struct _LIBSSH2_SESSION;
struct _LIBSSH2_CHANNEL;
struct _LIBSSH2_AGENT;
struct libssh2_agent_publickey;
using LIBSSH2_SESSION = _LIBSSH2_SESSION;
using LIBSSH2_CHANNEL = _LIBSSH2_CHANNEL;
using LIBSSH2_AGENT = _LIBSSH2_AGENT;

// The keyboard-interactive prompt and answer records, laid out as libssh2
// lays them out.
struct TSsh2KbdPrompt {
  char* text;
  unsigned int length;
  unsigned char echo;
};
struct TSsh2KbdResponse {
  char* text;
  unsigned int length;
};

// libssh2's numbers used by the transport.
namespace ssh2 {
constexpr int kCallbackDisconnect = 2;
constexpr int kHostkeyHashSha256 = 3;
constexpr int kHostkeyTypeRsa = 1;
constexpr int kHostkeyTypeEcdsa256 = 3;
constexpr int kHostkeyTypeEcdsa384 = 4;
constexpr int kHostkeyTypeEcdsa521 = 5;
constexpr int kHostkeyTypeEd25519 = 6;
constexpr int kErrorTimeout = -9;
constexpr int kErrorSocketTimeout = -30;
constexpr int kErrorEagain = -37;
// SSH_DISCONNECT_BY_APPLICATION (RFC 4253, section 11.1).
constexpr int kDisconnectByApplication = 11;
}  // namespace ssh2

using TSsh2AllocFunc = void* (*)(size_t count, void** abstract);
using TSsh2FreeFunc = void (*)(void* ptr, void** abstract);
using TSsh2ReallocFunc = void* (*)(void* ptr, size_t count, void** abstract);
using TSsh2KbdResponseFunc = void (*)(const char* name, int nameLen, const char* instruction, int instructionLen,
                                      int numPrompts, const TSsh2KbdPrompt* prompts, TSsh2KbdResponse* responses,
                                      void** abstract);
using TSsh2DisconnectFunc = void (*)(LIBSSH2_SESSION* session, int reason, const char* message, int messageLen,
                                     const char* language, int languageLen, void** abstract);
using TSsh2PasswdChangeFunc = void (*)(LIBSSH2_SESSION* session, char** newPw, int* newPwLen, void** abstract);

// One pointer per export, plain C calling convention. Filled by LoadLibSsh2;
// the agent members are null unless LibSsh2AgentAvailable.
struct TLibSsh2Api {
  int (*init)(int flags);
  void (*exit)();
  LIBSSH2_SESSION* (*session_init_ex)(TSsh2AllocFunc, TSsh2FreeFunc, TSsh2ReallocFunc, void* abstract);
  int (*session_handshake)(LIBSSH2_SESSION*, int sock);
  int (*session_disconnect_ex)(LIBSSH2_SESSION*, int reason, const char* description, const char* lang);
  int (*session_free)(LIBSSH2_SESSION*);
  const char* (*hostkey_hash)(LIBSSH2_SESSION*, int hashType);
  const char* (*session_hostkey)(LIBSSH2_SESSION*, size_t* len, int* type);
  void* (*session_callback_set)(LIBSSH2_SESSION*, int cbtype, void* callback);
  int (*session_last_error)(LIBSSH2_SESSION*, char** errmsg, int* errmsgLen, int wantBuf);
  int (*session_last_errno)(LIBSSH2_SESSION*);
  void (*session_set_blocking)(LIBSSH2_SESSION*, int blocking);
  void (*session_set_timeout)(LIBSSH2_SESSION*, long timeout);
  int (*userauth_authenticated)(LIBSSH2_SESSION*);
  char* (*userauth_list)(LIBSSH2_SESSION*, const char* username, unsigned int usernameLen);
  int (*userauth_password_ex)(LIBSSH2_SESSION*, const char* username, unsigned int usernameLen, const char* password,
                              unsigned int passwordLen, TSsh2PasswdChangeFunc);
  int (*userauth_keyboard_interactive_ex)(LIBSSH2_SESSION*, const char* username, unsigned int usernameLen,
                                          TSsh2KbdResponseFunc);
  int (*userauth_publickey_fromfile_ex)(LIBSSH2_SESSION*, const char* username, unsigned int usernameLen,
                                        const char* publickey, const char* privatekey, const char* passphrase);
  LIBSSH2_CHANNEL* (*channel_open_ex)(LIBSSH2_SESSION*, const char* channelType, unsigned int channelTypeLen,
                                      unsigned int windowSize, unsigned int packetSize, const char* message,
                                      unsigned int messageLen);
  int (*channel_request_pty_ex)(LIBSSH2_CHANNEL*, const char* term, unsigned int termLen, const char* modes,
                                unsigned int modesLen, int width, int height, int widthPx, int heightPx);
  int (*channel_request_pty_size_ex)(LIBSSH2_CHANNEL*, int width, int height, int widthPx, int heightPx);
  int (*channel_process_startup)(LIBSSH2_CHANNEL*, const char* request, unsigned int requestLen, const char* message,
                                 unsigned int messageLen);
  ssize_t (*channel_read_ex)(LIBSSH2_CHANNEL*, int streamId, char* buf, size_t buflen);
  ssize_t (*channel_write_ex)(LIBSSH2_CHANNEL*, int streamId, const char* buf, size_t buflen);
  int (*channel_eof)(LIBSSH2_CHANNEL*);
  int (*channel_send_eof)(LIBSSH2_CHANNEL*);
  int (*channel_close)(LIBSSH2_CHANNEL*);
  int (*channel_free)(LIBSSH2_CHANNEL*);
  // Optional: ssh-agent support.
  LIBSSH2_AGENT* (*agent_init)(LIBSSH2_SESSION*);
  int (*agent_connect)(LIBSSH2_AGENT*);
  int (*agent_list_identities)(LIBSSH2_AGENT*);
  int (*agent_get_identity)(LIBSSH2_AGENT*, libssh2_agent_publickey** store, libssh2_agent_publickey* prev);
  int (*agent_userauth)(LIBSSH2_AGENT*, const char* username, libssh2_agent_publickey* identity);
  int (*agent_disconnect)(LIBSSH2_AGENT*);
  void (*agent_free)(LIBSSH2_AGENT*);
};

// Loads the library and resolves its exports on the first call; later calls
// return at once whether it is loaded. A failed load is never retried.
bool LoadLibSsh2();
std::string LibSsh2LoadError();
bool LibSsh2AgentAvailable();
// The export table; only meaningful after LoadLibSsh2 returned true.
const TLibSsh2Api& LibSsh2();

// Wrappers with libssh2's fixed arguments filled in.
int libssh2_userauth_password(LIBSSH2_SESSION* session, const std::string& user, const std::string& password);
int libssh2_userauth_keyboard_interactive(LIBSSH2_SESSION* session, const std::string& user,
                                          TSsh2KbdResponseFunc responder);
int libssh2_userauth_publickey_fromfile(LIBSSH2_SESSION* session, const std::string& user,
                                        const std::string& publicKeyFile, const std::string& privateKeyFile,
                                        const std::string& passphrase);
LIBSSH2_CHANNEL* libssh2_channel_open_session(LIBSSH2_SESSION* session);
int libssh2_channel_request_pty(LIBSSH2_CHANNEL* channel, const std::string& term, int width, int height);
int libssh2_channel_request_pty_size(LIBSSH2_CHANNEL* channel, int width, int height);
int libssh2_channel_shell(LIBSSH2_CHANNEL* channel);
ssize_t libssh2_channel_read(LIBSSH2_CHANNEL* channel, char* buffer, size_t length);
ssize_t libssh2_channel_write(LIBSSH2_CHANNEL* channel, const char* buffer, size_t length);
