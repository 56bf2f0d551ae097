/* signalwick-ask - asks the running Korvane to answer a permission prompt.
 *
 * The hook script starts it with the prompt's payload on stdin. It passes the
 * payload to Korvane over the user's socket and prints the decision Korvane
 * sends back, and only a well-formed one. Every failure (no Korvane, a socket
 * that is not the user's, a closed connection, a bad answer, the client gone,
 * a signal, the time up) prints nothing and exits 0 at once: the prompt then
 * stays as it is in the terminal, which stays usable all the while.
 *
 *   signalwick-ask [SOCKET] < payload
 *
 * Plain C and POSIX: it starts in about a millisecond, on every prompt.
 *
 * Request: "KORVANE-ASK 1 <hook pid> <client pid> <payload bytes>\n" + payload.
 * Answer: the decision object, then the end of the connection. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

enum { kMaxPayload = 1 << 20, kMaxAnswer = 1 << 20, kWaitSeconds = 300, kMaxDepth = 64 };

static void quit(int sig)
{
    (void)sig;
    _exit(0);
}

/* ---- the answer's check: one JSON value, and the decision's shape ---- */

struct text {
    const char* at;
    const char* end;
};

static void skipSpace(struct text* t)
{
    while (t->at < t->end && (*t->at == ' ' || *t->at == '\t' || *t->at == '\n' || *t->at == '\r'))
        ++t->at;
}

static int eat(struct text* t, char c)
{
    skipSpace(t);
    if (t->at < t->end && *t->at == c) {
        ++t->at;
        return 1;
    }
    return 0;
}

/* A string token; its raw body in [*body, *body + *len). */
static int string(struct text* t, const char** body, size_t* len)
{
    if (!eat(t, '"'))
        return 0;
    *body = t->at;
    while (t->at < t->end && *t->at != '"') {
        const unsigned char c = (unsigned char)*t->at;
        if (c < 0x20)
            return 0;
        if (c == '\\') {
            if (++t->at >= t->end)
                return 0;
            if (*t->at == 'u') {
                for (int i = 1; i <= 4; ++i)
                    if (t->at + i >= t->end || !strchr("0123456789abcdefABCDEF", t->at[i]) || !t->at[i])
                        return 0;
                t->at += 4;
            } else if (!*t->at || !strchr("\"\\/bfnrt", *t->at)) {
                return 0;
            }
        }
        ++t->at;
    }
    if (t->at >= t->end)
        return 0;
    *len = (size_t)(t->at - *body);
    ++t->at;
    return 1;
}

static int isString(struct text* t, const char* want)
{
    const char* body;
    size_t len;
    return string(t, &body, &len) && len == strlen(want) && memcmp(body, want, len) == 0;
}

static int value(struct text* t, int depth);

/* The members of an object; each is handed to `member`, which reads its value. */
static int object(struct text* t, int depth, int (*member)(struct text*, const char*, size_t, int, int*),
                  int* seen)
{
    if (depth > kMaxDepth || !eat(t, '{'))
        return 0;
    if (eat(t, '}'))
        return 1;
    do {
        const char* key;
        size_t len;
        if (!string(t, &key, &len) || !eat(t, ':') || !member(t, key, len, depth + 1, seen))
            return 0;
    } while (eat(t, ','));
    return eat(t, '}');
}

static int anyMember(struct text* t, const char* key, size_t len, int depth, int* seen)
{
    (void)key, (void)len, (void)seen;
    return value(t, depth);
}

static int value(struct text* t, int depth)
{
    skipSpace(t);
    if (t->at >= t->end || depth > kMaxDepth)
        return 0;
    const char c = *t->at;
    if (c == '{')
        return object(t, depth, anyMember, NULL);
    if (c == '[') {
        ++t->at;
        if (eat(t, ']'))
            return 1;
        do
            if (!value(t, depth + 1))
                return 0;
        while (eat(t, ','));
        return eat(t, ']');
    }
    if (c == '"') {
        const char* body;
        size_t len;
        return string(t, &body, &len);
    }
    static const char* const words[] = {"true", "false", "null"};
    for (size_t i = 0; i < 3; ++i) {
        const size_t n = strlen(words[i]);
        if ((size_t)(t->end - t->at) >= n && memcmp(t->at, words[i], n) == 0) {
            t->at += n;
            return 1;
        }
    }
    const char* start = t->at;
    if (t->at < t->end && *t->at == '-')
        ++t->at;
    while (t->at < t->end && strchr("0123456789.eE+-", *t->at) && *t->at)
        ++t->at;
    return t->at > start;
}

#define KEY(name) (len == sizeof(name) - 1 && memcmp(key, name, len) == 0)

enum { kBehavior = 1, kEventName = 2, kDecision = 4, kOutput = 8 };

static int decisionMember(struct text* t, const char* key, size_t len, int depth, int* seen)
{
    if (!KEY("behavior"))
        return value(t, depth);
    const char* body;
    size_t n;
    if (!string(t, &body, &n) ||
        !((n == 5 && !memcmp(body, "allow", 5)) || (n == 4 && !memcmp(body, "deny", 4))))
        return 0;
    *seen |= kBehavior;
    return 1;
}

static int outputMember(struct text* t, const char* key, size_t len, int depth, int* seen)
{
    if (KEY("hookEventName")) {
        *seen |= kEventName;
        return isString(t, "PermissionRequest");
    }
    if (KEY("decision")) {
        *seen |= kDecision;
        return object(t, depth, decisionMember, seen);
    }
    return value(t, depth);
}

static int topMember(struct text* t, const char* key, size_t len, int depth, int* seen)
{
    if (!KEY("hookSpecificOutput"))
        return 0;
    *seen |= kOutput;
    return object(t, depth, outputMember, seen);
}

/* {"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"|"deny",…},…}}
 * and nothing else. */
static int isDecision(const char* s, size_t n)
{
    struct text t = {s, s + n};
    int seen = 0;
    if (!object(&t, 0, topMember, &seen))
        return 0;
    skipSpace(&t);
    return t.at == t.end && seen == (kBehavior | kEventName | kDecision | kOutput);
}

/* ---- the conversation with Korvane ---- */

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static int writeAll(int fd, const char* p, size_t n)
{
    while (n) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return 0;
        p += w;
        n -= (size_t)w;
    }
    return 1;
}

/* The socket must be the user's own, and not a link to anyone else's. */
static int trusted(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)))
        return 0;
    char dir[sizeof(((struct sockaddr_un*)0)->sun_path)];
    const char* slash = strrchr(path, '/');
    if (!slash || (size_t)(slash - path) >= sizeof dir)
        return 0;
    memcpy(dir, path, (size_t)(slash - path));
    dir[slash - path] = '\0';
    return lstat(dir[0] ? dir : "/", &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           !(st.st_mode & (S_IWGRP | S_IWOTH));
}

int main(int argc, char** argv)
{
    /* The hook script ignores these for its own few milliseconds; this waits long. */
    signal(SIGTERM, quit);
    signal(SIGHUP, quit);
    signal(SIGINT, quit);
    signal(SIGPIPE, SIG_IGN);

    char path[sizeof(((struct sockaddr_un*)0)->sun_path)];
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    if (argc > 1)
        snprintf(path, sizeof path, "%s", argv[1]);
    else if (!runtime || runtime[0] != '/' ||
             snprintf(path, sizeof path, "%s/korvane/ask.sock", runtime) >= (int)sizeof path)
        return 0;
    if (!trusted(path))
        return 0;

    const char* clientVar = getenv("CLAUDE_PID");
    const long client = clientVar ? strtol(clientVar, NULL, 10) : 0;
    if (client > 0 && kill((pid_t)client, 0) != 0 && errno == ESRCH)
        return 0;

    static char payload[kMaxPayload + 1];
    size_t size = 0;
    for (ssize_t r; (r = read(0, payload + size, sizeof payload - size)) != 0;) {
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (size += (size_t)r) > kMaxPayload)
            return 0;
    }

    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    struct sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path, strlen(path) + 1);
    /* Non-blocking: a Korvane too busy to accept means no question, not a wait. */
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0)
        return 0;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    char head[96];
    const int n = snprintf(head, sizeof head, "KORVANE-ASK 1 %ld %ld %zu\n", (long)getpid(), client, size);
    if (!writeAll(fd, head, (size_t)n) || !writeAll(fd, payload, size))
        return 0;

    static char answer[kMaxAnswer + 1];
    size_t got = 0;
    const double deadline = now() + kWaitSeconds;
    for (;;) {
        const double left = deadline - now();
        if (left <= 0)
            return 0;
        /* Wakes each second to see whether the client is still there. */
        struct pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, left < 1 ? (int)(left * 1000) + 1 : 1000);
        if (ready < 0 && errno != EINTR)
            return 0;
        if (client > 0 && kill((pid_t)client, 0) != 0 && errno == ESRCH)
            return 0;
        if (ready <= 0)
            continue;
        const ssize_t r = read(fd, answer + got, sizeof answer - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return 0;
        if (r == 0)
            break;
        if ((got += (size_t)r) > kMaxAnswer)
            return 0;
    }
    close(fd);
    if (!got || !isDecision(answer, got))
        return 0;
    while (got && (answer[got - 1] == '\n' || answer[got - 1] == ' '))
        --got;
    answer[got++] = '\n';
    writeAll(1, answer, got);
    return 0;
}
