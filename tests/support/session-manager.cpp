// A session manager of the X Session Management Protocol (libSM, as
// xsm and the desktops' session managers speak it), for one client and
// one session end; the tests run the panel under it.
//
//   tw-test-session-manager
//
// Prints "SESSION_MANAGER=<address>" (the address a client finds in that
// variable) and then one line per step: "registered" once a client has
// registered; on a line "end" on its standard input it asks the client to
// save as at a logout (SaveYourself: both, shutdown, no interaction) and
// prints "saved 1" (or "saved 0") at the client's answer, then tells it to
// die, as a session manager does once all clients have saved; "gone" when
// the client's connection has closed, which ends it with status 0. After
// 120 s it gives up with status 1.

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

SmsConn client = nullptr;
bool gone = false;

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

Status registerClient(SmsConn connection, SmPointer, char* previousId) {
    char* id = SmsGenerateClientID(connection);
    SmsRegisterClientReply(connection, id);
    std::free(id);
    std::free(previousId);
    client = connection;
    say("registered");
    return 1;
}

void interactRequest(SmsConn connection, SmPointer, int) {
    SmsInteract(connection);
}

void interactDone(SmsConn, SmPointer, Bool) {}

void saveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}

void phase2Request(SmsConn connection, SmPointer) {
    SmsSaveYourselfPhase2(connection);
}

void saveYourselfDone(SmsConn connection, SmPointer, Bool success) {
    say(success ? "saved 1" : "saved 0");
    SmsDie(connection);
}

void closeConnection(SmsConn connection, SmPointer, int count, char** reasons) {
    IceConn ice = SmsGetIceConnection(connection);
    SmsCleanUp(connection);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    SmFreeReasons(count, reasons);
    client = nullptr;
    gone = true;
}

void setProperties(SmsConn, SmPointer, int count, SmProp** properties) {
    for (int i = 0; i < count; ++i)
        SmFreeProperty(properties[i]);
    std::free(properties);
}

void deleteProperties(SmsConn, SmPointer, int count, char** names) {
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
}

void getProperties(SmsConn connection, SmPointer) {
    SmsReturnProperties(connection, 0, nullptr);
}

Status newClient(SmsConn, SmPointer, unsigned long* mask, SmsCallbacks* callbacks, char**) {
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = interactRequest;
    callbacks->interact_done.callback = interactDone;
    callbacks->save_yourself_request.callback = saveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = phase2Request;
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = closeConnection;
    callbacks->set_properties.callback = setProperties;
    callbacks->delete_properties.callback = deleteProperties;
    callbacks->get_properties.callback = getProperties;
    return 1;
}

// Local connections only: any host that reaches them is this one.
Bool anyHost(char*) {
    return True;
}

} // namespace

// A connection that breaks is told by IceProcessMessages; the default
// handler would end the program.
void keepGoing(IceConn) {}

int main() {
    IceSetIOErrorHandler(keepGoing);
    char error[256] = "";
    if (!SmsInitialize("tw-test", "1.0", newClient, nullptr, anyHost, sizeof error, error)) {
        std::fprintf(stderr, "session-manager: SmsInitialize: %s\n", error);
        return 1;
    }
    int count = 0;
    IceListenObj* listeners = nullptr;
    if (!IceListenForConnections(&count, &listeners, sizeof error, error) || count == 0) {
        std::fprintf(stderr, "session-manager: IceListenForConnections: %s\n", error);
        return 1;
    }
    for (int i = 0; i < count; ++i)
        IceSetHostBasedAuthProc(listeners[i], anyHost);
    char* address = IceComposeNetworkIdList(count, listeners);
    std::printf("SESSION_MANAGER=%s\n", address);
    std::fflush(stdout);
    std::free(address);

    std::vector<IceConn> connections;
    std::string input;
    bool stdinOpen = true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!gone) {
        if (std::chrono::steady_clock::now() > until) {
            std::fprintf(stderr, "session-manager: no end within 120 s\n");
            return 1;
        }
        std::vector<pollfd> fds;
        for (int i = 0; i < count; ++i)
            fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        for (IceConn connection : connections)
            fds.push_back({IceConnectionNumber(connection), POLLIN, 0});
        if (stdinOpen)
            fds.push_back({STDIN_FILENO, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 500) <= 0)
            continue;
        // The descriptors polled, in order: the listeners, the connections
        // that were open then, standard input.
        std::size_t at = 0;
        std::vector<IceConn> accepted;
        for (int i = 0; i < count; ++i, ++at) {
            if (!(fds[at].revents & POLLIN))
                continue;
            IceAcceptStatus status;
            IceConn connection = IceAcceptConnection(listeners[i], &status);
            if (!connection)
                continue;
            IceConnectStatus state = IceConnectPending;
            while ((state = IceConnectionStatus(connection)) == IceConnectPending)
                if (IceProcessMessages(connection, nullptr, nullptr) == IceProcessMessagesIOError)
                    break;
            if (state == IceConnectAccepted)
                accepted.push_back(connection);
            else
                IceCloseConnection(connection);
        }
        std::vector<IceConn> open;
        for (IceConn connection : connections) {
            const bool ready = fds[at++].revents & (POLLIN | POLLHUP | POLLERR);
            if (ready &&
                IceProcessMessages(connection, nullptr, nullptr) == IceProcessMessagesIOError) {
                // Closed without a word: the client is gone all the same.
                if (client) {
                    SmsCleanUp(client);
                    client = nullptr;
                }
                IceSetShutdownNegotiation(connection, False);
                IceCloseConnection(connection);
                gone = true;
                continue;
            }
            open.push_back(connection);
        }
        open.insert(open.end(), accepted.begin(), accepted.end());
        connections = open;
        if (stdinOpen && (fds[at].revents & (POLLIN | POLLHUP))) {
            char buffer[64];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got <= 0)
                stdinOpen = false;
            else
                input.append(buffer, static_cast<std::size_t>(got));
            if (input.find("end\n") != std::string::npos) {
                input.clear();
                if (client)
                    SmsSaveYourself(client, SmSaveBoth, True, SmInteractStyleNone, False);
                else
                    std::fprintf(stderr, "session-manager: no client to end\n");
            }
        }
    }
    IceFreeListenObjs(count, listeners);
    say("gone");
    return 0;
}
