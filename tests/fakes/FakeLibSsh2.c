/* A stand-in for libssh2 that exports some of its names and does nothing,
   for the tests of the binding's load errors. FAKE_LACKS_CHANNEL_EOF leaves
   out libssh2_channel_eof and libssh2_channel_free; no variant has the
   agent calls. */
#define STUB(name) \
  int name(void); \
  int name(void) { return -1; }

STUB(libssh2_init)
STUB(libssh2_exit)
STUB(libssh2_session_init_ex)
STUB(libssh2_session_handshake)
STUB(libssh2_session_disconnect_ex)
STUB(libssh2_session_free)
STUB(libssh2_hostkey_hash)
STUB(libssh2_session_hostkey)
STUB(libssh2_session_callback_set)
STUB(libssh2_session_last_error)
STUB(libssh2_session_last_errno)
STUB(libssh2_session_set_blocking)
STUB(libssh2_session_set_timeout)
STUB(libssh2_userauth_authenticated)
STUB(libssh2_userauth_list)
STUB(libssh2_userauth_password_ex)
STUB(libssh2_userauth_keyboard_interactive_ex)
STUB(libssh2_userauth_publickey_fromfile_ex)
STUB(libssh2_channel_open_ex)
STUB(libssh2_channel_request_pty_ex)
STUB(libssh2_channel_request_pty_size_ex)
STUB(libssh2_channel_process_startup)
STUB(libssh2_channel_read_ex)
STUB(libssh2_channel_write_ex)
#ifndef FAKE_LACKS_CHANNEL_EOF
STUB(libssh2_channel_eof)
STUB(libssh2_channel_free)
#endif
STUB(libssh2_channel_send_eof)
STUB(libssh2_channel_close)
