// A small X session manager (XSMP over libSM/libICE) that a journey drives line by line.
//
//   xsmpsm [SECONDS]     ends by itself after SECONDS (default 300)
//
// It listens on a local ICE socket only and prints "listening ADDRESS" (the value for
// SESSION_MANAGER). Commands on standard input, one a line, go to the one client:
//   save local|global|both 0|1 none|errors|any    SaveYourself (type, shutdown, interact style)
//   interact | cancelled | complete | die          Interact, ShutdownCancelled, SaveComplete, Die
//   quit
// What the client says is printed, one line each: "register PREVIOUS-ID", "interact-request
// normal|errors", "interact-done cancel|continue", "save-yourself-done 1|0", "phase2-request",
// "save-yourself-request ...", "property NAME VALUE", "close", "gone". Problems are printed as
// "error ...". Standard input closing ends it too.

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Client {
    IceConn ice = nullptr;
    SmsConn sms = nullptr;
    bool closed = false;
};

std::vector<IceListenObj> g_listen;
std::vector<Client> g_clients; // every accepted ICE connection; the last one is driven

void say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::vfprintf(stdout, fmt, ap);
    va_end(ap);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Client* clientOf(SmsConn sms)
{
    for (Client& c : g_clients)
        if (c.sms == sms)
            return &c;
    return nullptr;
}

// Only connections over the local socket are let in.
Bool localOnly(char* hostname)
{
    return hostname && std::strncmp(hostname, "local/", 6) == 0 ? True : False;
}

void ioError(IceConn) {} // the default handler would end the process

Status registerClient(SmsConn sms, SmPointer, char* previousId)
{
    say("register %s", previousId ? previousId : "-");
    char* id = SmsGenerateClientID(sms);
    if (!id) {
        say("error no client id");
        return 0;
    }
    const Status ok = SmsRegisterClientReply(sms, id);
    std::free(id);
    std::free(previousId);
    return ok;
}

void interactRequest(SmsConn, SmPointer, int dialogType)
{
    say("interact-request %s", dialogType == SmDialogError ? "errors" : "normal");
}

void interactDone(SmsConn, SmPointer, Bool cancelShutdown)
{
    say("interact-done %s", cancelShutdown ? "cancel" : "continue");
}

void saveYourselfRequest(SmsConn, SmPointer, int saveType, Bool shutdown, int interactStyle, Bool,
                         Bool global)
{
    say("save-yourself-request %d %d %d %d", saveType, shutdown ? 1 : 0, interactStyle,
        global ? 1 : 0);
}

void phase2Request(SmsConn sms, SmPointer)
{
    say("phase2-request");
    SmsSaveYourselfPhase2(sms);
}

void saveYourselfDone(SmsConn, SmPointer, Bool success)
{
    say("save-yourself-done %d", success ? 1 : 0);
}

void closeConnection(SmsConn sms, SmPointer, int count, char** reasons)
{
    say("close");
    SmFreeReasons(count, reasons);
    if (Client* c = clientOf(sms)) {
        IceSetShutdownNegotiation(c->ice, False);
        IceCloseConnection(c->ice);
        SmsCleanUp(sms);
        c->sms = nullptr;
        c->closed = true;
    }
}

void setProperties(SmsConn, SmPointer, int count, SmProp** props)
{
    for (int i = 0; i < count; ++i) {
        const SmProp* p = props[i];
        std::string value;
        if (std::strcmp(p->type, SmCARD8) == 0 && p->num_vals == 1 && p->vals[0].length > 0)
            value = std::to_string(int(*static_cast<unsigned char*>(p->vals[0].value)));
        else
            for (int v = 0; v < p->num_vals; ++v) {
                if (v)
                    value += ' ';
                value.append(static_cast<const char*>(p->vals[v].value),
                             std::size_t(p->vals[v].length));
            }
        say("property %s %s", p->name, value.c_str());
        SmFreeProperty(props[i]);
    }
    std::free(props);
}

void deleteProperties(SmsConn, SmPointer, int count, char** names)
{
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
}

void getProperties(SmsConn sms, SmPointer)
{
    SmsReturnProperties(sms, 0, nullptr);
}

Status newClient(SmsConn sms, SmPointer, unsigned long* mask, SmsCallbacks* cb, char**)
{
    // The ICE connection was accepted just before: the newest one without a client.
    for (auto it = g_clients.rbegin(); it != g_clients.rend(); ++it)
        if (!it->sms && !it->closed && SmsGetIceConnection(sms) == it->ice) {
            it->sms = sms;
            break;
        }
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    cb->register_client.callback = registerClient;
    cb->interact_request.callback = interactRequest;
    cb->interact_done.callback = interactDone;
    cb->save_yourself_request.callback = saveYourselfRequest;
    cb->save_yourself_phase2_request.callback = phase2Request;
    cb->save_yourself_done.callback = saveYourselfDone;
    cb->close_connection.callback = closeConnection;
    cb->set_properties.callback = setProperties;
    cb->delete_properties.callback = deleteProperties;
    cb->get_properties.callback = getProperties;
    return 1;
}

int parseIndex(const char* word, std::initializer_list<const char*> names)
{
    int i = 0;
    for (const char* n : names) {
        if (std::strcmp(word, n) == 0)
            return i;
        ++i;
    }
    return -1;
}

// One command from the journey; false ends the session manager.
bool command(const char* line)
{
    char verb[32] = {}, a[32] = {}, c[32] = {};
    int b = 0;
    const int n = std::sscanf(line, "%31s %31s %d %31s", verb, a, &b, c);
    if (n < 1)
        return true;
    if (std::strcmp(verb, "quit") == 0)
        return false;
    SmsConn sms = nullptr;
    for (auto it = g_clients.rbegin(); it != g_clients.rend() && !sms; ++it)
        sms = it->closed ? nullptr : it->sms;
    if (!sms) {
        say("error no client for %s", verb);
        return true;
    }
    if (std::strcmp(verb, "save") == 0) {
        const int type = parseIndex(a, {"global", "local", "both"}); // SmSaveGlobal = 0 …
        const int style = parseIndex(c, {"none", "errors", "any"});  // SmInteractStyleNone = 0 …
        if (n != 4 || type < 0 || style < 0) {
            say("error bad save command: %s", line);
            return true;
        }
        SmsSaveYourself(sms, type, b ? True : False, style, False);
    } else if (std::strcmp(verb, "interact") == 0) {
        SmsInteract(sms);
    } else if (std::strcmp(verb, "cancelled") == 0) {
        SmsShutdownCancelled(sms);
    } else if (std::strcmp(verb, "complete") == 0) {
        SmsSaveComplete(sms);
    } else if (std::strcmp(verb, "die") == 0) {
        SmsDie(sms);
    } else {
        say("error unknown command: %s", line);
    }
    IceFlush(SmsGetIceConnection(sms));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int lifetime = argc > 1 ? std::atoi(argv[1]) : 300;
    std::signal(SIGPIPE, SIG_IGN);
    alarm(unsigned(lifetime > 0 ? lifetime : 300)); // never outlives a stuck journey

    char error[256] = {};
    if (!SmsInitialize("ctwork-tests", "1.0", newClient, nullptr, localOnly, sizeof error, error)) {
        say("error SmsInitialize: %s", error);
        return 1;
    }
    IceSetIOErrorHandler(ioError);
    int count = 0;
    IceListenObj* objs = nullptr;
    if (!IceListenForConnections(&count, &objs, sizeof error, error)) {
        say("error IceListenForConnections: %s", error);
        return 1;
    }
    // Keep the local socket; close every network listener.
    std::vector<IceListenObj> others;
    for (int i = 0; i < count; ++i) {
        char* id = IceGetListenConnectionString(objs[i]);
        if (id && std::strncmp(id, "local/", 6) == 0) {
            IceSetHostBasedAuthProc(objs[i], localOnly);
            g_listen.push_back(objs[i]);
        } else {
            others.push_back(objs[i]);
        }
        std::free(id);
    }
    if (!others.empty())
        IceFreeListenObjs(int(others.size()), others.data());
    if (g_listen.empty()) {
        say("error no local ICE listener");
        return 1;
    }
    char* address = IceComposeNetworkIdList(int(g_listen.size()), g_listen.data());
    say("listening %s", address);
    std::free(address);

    std::string input;
    bool running = true;
    while (running) {
        std::vector<pollfd> fds;
        fds.push_back({STDIN_FILENO, POLLIN, 0});
        for (IceListenObj l : g_listen)
            fds.push_back({IceGetListenConnectionNumber(l), POLLIN, 0});
        const std::size_t polled = g_clients.size(); // accepting below appends to it
        for (const Client& c : g_clients)
            if (!c.closed)
                fds.push_back({IceConnectionNumber(c.ice), POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        std::size_t k = 0;
        if (fds[k++].revents) {
            char buf[512];
            const ssize_t got = ::read(STDIN_FILENO, buf, sizeof buf);
            if (got <= 0)
                break;
            input.append(buf, std::size_t(got));
            for (std::size_t nl; running && (nl = input.find('\n')) != std::string::npos;) {
                running = command(input.substr(0, nl).c_str());
                input.erase(0, nl + 1);
            }
        }
        for (IceListenObj l : g_listen)
            if (fds[k++].revents) {
                IceAcceptStatus status;
                if (IceConn ice = IceAcceptConnection(l, &status))
                    g_clients.push_back({ice, nullptr, false});
                else
                    say("error IceAcceptConnection %d", int(status));
            }
        for (std::size_t i = 0; i < polled; ++i) {
            if (g_clients[i].closed)
                continue;
            if (!fds[k++].revents)
                continue;
            const IceProcessMessagesStatus st =
                IceProcessMessages(g_clients[i].ice, nullptr, nullptr);
            if (st == IceProcessMessagesSuccess)
                continue;
            if (!g_clients[i].closed) {
                // The client went away without CloseConnection (it crashed or was killed).
                if (g_clients[i].sms)
                    SmsCleanUp(g_clients[i].sms);
                if (st == IceProcessMessagesIOError) {
                    IceSetShutdownNegotiation(g_clients[i].ice, False);
                    IceCloseConnection(g_clients[i].ice);
                }
                g_clients[i].sms = nullptr;
                g_clients[i].closed = true;
            }
            say("gone");
        }
    }
    IceFreeListenObjs(int(g_listen.size()), g_listen.data());
    return 0;
}
