// SocketBio: the OpenSSL BIO a TlsSession reads and writes through. It works
// on a socket it does not own, and every receive and send is non-blocking
// whatever mode the socket's owner chose (MSG_DONTWAIT), so a session's time
// bounds hold. Sends use MSG_NOSIGNAL: a peer that went away is a write
// error, never a SIGPIPE, and the process's signal handling stays untouched
// (OpenSSL's own socket BIO writes with write(), which raises SIGPIPE).
#pragma once

#include <openssl/types.h>

#include <string>

struct SocketBioState {
    int fd = -1;
    // Bytes the owner received before the session began (a client's first
    // handshake bytes sent right behind its CONNECT): read before the socket.
    std::string received;
    bool eof = false; // a receive returned 0: the peer closed its side
    int error = 0;    // errno of the last failed receive or send, 0 if none
};

// A BIO over state->fd; state must outlive it. Null when OpenSSL fails.
BIO* socket_bio_new(SocketBioState* state);
