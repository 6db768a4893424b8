// What this connection and its server have settled between them: whether
// and how far it is encrypted, and how its folders are listed. Each new
// connection starts from a fresh one.
#pragma once

struct SessionState {
    bool tlsStarting = false;       // "234" came; the handshake runs
    bool tlsAccepted = false;       // "234" came: nothing more goes out in clear
    bool certificateAsked = false;  // the certificate question is open; the log-in waits for it
    bool dataProtected = false;     // "PROT P" accepted: data connections are TLS clients
    bool clearAgreed = false;       // it goes on without the TLS its profile asks for
    bool listsWithMlsd = false;     // FEAT listed MLST: folders are listed with MLSD, not LIST
};
