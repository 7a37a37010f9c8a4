#include "proxy/server/ClientRefusal.h"

#include "foundation/Fail.h"
#include "http/URLAnswer.h"
#include "foundation/LocalAddresses.h"
#include "proxy/server/WorkerPages.h"

#include <sys/socket.h>

void refuse_client(Socket& client, uint32_t peer, uint32_t language, bool debug) {
    if (debug) {
        fail_new("Relais: ", "client " + dotted_address(peer) + " is not in 'clients': refused");
        fail_print();
    }
    URLAnswer answer;
    set_worker_page(answer, client_refused_page(language), REFUSAL_STATUS);
    Str text = answer.to_Str() + answer.body;
    ssize_t sent = ::send(client.handle(), text.data(), text.length(), MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)sent; // a client that takes nothing gets nothing
    // What the client sent already is read, so that closing does not reset
    // the connection before the page has arrived.
    char request[8192];
    while (::recv(client.handle(), request, sizeof request, MSG_DONTWAIT) > 0) {
    }
    ::shutdown(client.handle(), SHUT_RDWR);
}
