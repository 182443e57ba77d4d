/* limit HOST PORT COUNT: the floor for sending COUNT personalised messages
 * on one SMTP connection. Each message is built per recipient (headers,
 * base64 body with the recipient's name block) and sent with one round
 * trip: the message content, its final ".", and the next message's
 * MAIL/RCPT/DATA go out in one write, and the four replies come back
 * together. Requires PIPELINING. Prints "sent=N seconds=S rate=R".
 * Plain sockets, no TLS, no authentication. */

#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static const char FROM_ADDR[] = "shop@example.jp";
static const char FROM_NAME[] = "山田商店";
static const char SUBJECT[] = "【ご案内】春の新商品と営業日のお知らせ";
static const char PARA[] =
    "平素は格別のご高配を賜り、厚く御礼申し上げます。このたび弊社では春の新商品を発売いたしました。"
    "詳細につきましては同封の資料をご覧ください。ご不明な点がございましたらお気軽にお問い合わせください。\r\n";
static const char TAIL[] = "今後ともよろしくお願い申し上げます。\r\n山田商店　営業部";
static const char NAME_HEAD[] = "株式会社サンプル";
static const char NAME_REST[] = "\r\n営業部　山本太郎　様\r\n";

static void die(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs("limit: ", stderr);
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    exit(1);
}

static const char B64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

/* Base64 of n bytes without line breaks; returns the length written. */
static size_t b64(char *out, const unsigned char *in, size_t n)
{
    char *o = out;
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        unsigned v = (unsigned)in[i] << 16 | (unsigned)in[i + 1] << 8 | in[i + 2];
        *o++ = B64[v >> 18];
        *o++ = B64[(v >> 12) & 63];
        *o++ = B64[(v >> 6) & 63];
        *o++ = B64[v & 63];
    }
    if (i < n) {
        unsigned v = (unsigned)in[i] << 16 | (i + 1 < n ? (unsigned)in[i + 1] << 8 : 0);
        *o++ = B64[v >> 18];
        *o++ = B64[(v >> 12) & 63];
        *o++ = i + 1 < n ? B64[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    return (size_t)(o - out);
}

/* Base64 body in 76-character lines, each ended by CRLF. */
static size_t b64_lines(char *out, const unsigned char *in, size_t n)
{
    char *o = out;
    for (size_t i = 0; i < n; i += 57) {
        o += b64(o, in + i, n - i < 57 ? n - i : 57);
        *o++ = '\r';
        *o++ = '\n';
    }
    return (size_t)(o - out);
}

static char *put(char *o, const char *s, size_t n)
{
    memcpy(o, s, n);
    return o + n;
}
#define PUTS(o, lit) put((o), (lit), sizeof(lit) - 1)

static char *put_uint(char *o, unsigned long v)
{
    char tmp[24];
    int n = 0;
    do {
        tmp[n++] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    while (n)
        *o++ = tmp[--n];
    return o;
}

/* Subject as UTF-8 B encoded-words, split between characters so that no
 * header line exceeds 76 characters. */
static size_t subject_header(char *out)
{
    const unsigned char *s = (const unsigned char *)SUBJECT;
    size_t n = strlen(SUBJECT), i = 0;
    char *o = PUTS(out, "Subject:");
    while (i < n) {
        /* One encoded-word per line: after "Subject:", then on folded lines. */
        const size_t col = i == 0 ? 8 : 0;
        /* Longest run of whole characters that fits on this line. */
        size_t take = 0, j = i;
        while (j < n) {
            size_t len = 1;
            while (j + len < n && (s[j + len] & 0xC0) == 0x80)
                len++;
            size_t chunk = take + len;
            if (col + 1 + 10 + (chunk + 2) / 3 * 4 + 2 > 76)
                break;
            take = chunk;
            j += len;
        }
        if (take == 0)
            die("subject does not fold");
        if (i > 0)
            o = PUTS(o, "\r\n");
        o = PUTS(o, " =?UTF-8?B?");
        o += b64(o, s + i, take);
        o = PUTS(o, "?=");
        i += take;
    }
    o = PUTS(o, "\r\n");
    return (size_t)(o - out);
}

/* Buffered reply reader. */
static int sock = -1;
static char rbuf[65536];
static size_t rpos, rlen;

static int read_line(char *line, size_t cap)
{
    size_t n = 0;
    for (;;) {
        if (rpos == rlen) {
            ssize_t r = read(sock, rbuf, sizeof rbuf);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                die("connection closed by the server");
            rpos = 0;
            rlen = (size_t)r;
        }
        char c = rbuf[rpos++];
        if (n + 1 < cap)
            line[n++] = c;
        if (c == '\n') {
            line[n] = 0;
            return (int)n;
        }
    }
}

/* Reads one (possibly multi-line) reply; fails unless its code is want.
 * With pipelining, when non-null, is set when a line offers it. */
static void expect(int want, const char *what, int *pipelining)
{
    char line[1024];
    for (;;) {
        int n = read_line(line, sizeof line);
        if (n < 4 || atoi(line) != want)
            die("%s: expected %d, got: %s", what, want, line);
        if (pipelining && strncasecmp(line + 4, "PIPELINING", 10) == 0 &&
            (line[14] == '\r' || line[14] == '\n' || line[14] == ' '))
            *pipelining = 1;
        if (line[3] == ' ')
            return;
        if (line[3] != '-')
            die("%s: malformed reply: %s", what, line);
    }
}

static void write_all(const char *p, size_t n)
{
    while (n) {
        ssize_t w = write(sock, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            die("write: %s", strerror(errno));
        p += w;
        n -= (size_t)w;
    }
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: limit HOST PORT COUNT\n");
        return 2;
    }
    const long count = atol(argv[3]);
    if (count <= 0)
        die("COUNT must be positive");

    /* Constant parts, built once. */
    char body_const[4096];
    size_t body_const_len = 0;
    const size_t para_len = strlen(PARA);
    while (body_const_len < 1000) {
        memcpy(body_const + body_const_len, PARA, para_len);
        body_const_len += para_len;
    }
    memcpy(body_const + body_const_len, TAIL, strlen(TAIL));
    body_const_len += strlen(TAIL);
    body_const[body_const_len++] = '\r';
    body_const[body_const_len++] = '\n';

    char from_hdr[256];
    char *p = PUTS(from_hdr, "From: =?UTF-8?B?");
    p += b64(p, (const unsigned char *)FROM_NAME, strlen(FROM_NAME));
    p = PUTS(p, "?= <");
    p = put(p, FROM_ADDR, strlen(FROM_ADDR));
    p = PUTS(p, ">\r\n");
    const size_t from_len = (size_t)(p - from_hdr);

    char subject_hdr[512];
    const size_t subject_len = subject_header(subject_hdr);
    static const char MIME_HDRS[] =
        "MIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n";

    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);

    struct addrinfo hints = {0}, *ai;
    hints.ai_socktype = SOCK_STREAM;
    int gai = getaddrinfo(argv[1], argv[2], &hints, &ai);
    if (gai)
        die("%s: %s", argv[1], gai_strerror(gai));
    sock = socket(ai->ai_family, SOCK_STREAM, 0);
    if (sock < 0 || connect(sock, ai->ai_addr, ai->ai_addrlen) < 0)
        die("connect: %s", strerror(errno));
    freeaddrinfo(ai);
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    expect(220, "greeting", NULL);
    static const char EHLO[] = "EHLO limit.example.jp\r\n";
    write_all(EHLO, sizeof EHLO - 1);
    int pipelining = 0;
    expect(250, "EHLO", &pipelining);
    if (!pipelining)
        die("the server does not offer PIPELINING");

    static char out[16384];
    char text[4096];
    char date_hdr[64];
    size_t date_len = 0;
    time_t date_sec = (time_t)-1;
    const unsigned long id_base = (unsigned long)time(NULL);
    const unsigned long pid = (unsigned long)getpid();

    /* Appends message i's envelope: MAIL, RCPT, DATA. */
#define ENVELOPE(o, i)                                      \
    do {                                                    \
        o = PUTS(o, "MAIL FROM:<");                         \
        o = put(o, FROM_ADDR, sizeof FROM_ADDR - 1);        \
        o = PUTS(o, ">\r\nRCPT TO:<customer");              \
        o = put_uint(o, (unsigned long)(i));                \
        o = PUTS(o, "@example.jp>\r\nDATA\r\n");            \
    } while (0)

    char *o = out;
    ENVELOPE(o, 0);
    write_all(out, (size_t)(o - out));
    expect(250, "MAIL", NULL);
    expect(250, "RCPT", NULL);
    expect(354, "DATA", NULL);

    for (long i = 0; i < count; i++) {
        o = out;
        const time_t now = time(NULL);
        if (now != date_sec) {
            struct tm tm;
            localtime_r(&now, &tm);
            date_len = strftime(date_hdr, sizeof date_hdr, "Date: %a, %d %b %Y %H:%M:%S %z\r\n", &tm);
            date_sec = now;
        }
        o = put(o, date_hdr, date_len);
        o = put(o, from_hdr, from_len);
        o = PUTS(o, "To: <customer");
        o = put_uint(o, (unsigned long)i);
        o = PUTS(o, "@example.jp>\r\n");
        o = put(o, subject_hdr, subject_len);
        o = PUTS(o, "Message-ID: <");
        o = put_uint(o, id_base);
        *o++ = '.';
        o = put_uint(o, pid);
        *o++ = '.';
        o = put_uint(o, (unsigned long)i);
        o = PUTS(o, "@example.jp>\r\n");
        o = PUTS(o, MIME_HDRS);

        /* The body with this recipient's name block, then base64. Neither
         * headers nor base64 lines begin with '.', so no dot-stuffing. */
        char *t = PUTS(text, NAME_HEAD);
        t = put_uint(t, (unsigned long)i);
        t = PUTS(t, NAME_REST);
        t = put(t, body_const, body_const_len);
        o += b64_lines(o, (const unsigned char *)text, (size_t)(t - text));
        o = PUTS(o, ".\r\n");

        const int last = i + 1 == count;
        if (!last)
            ENVELOPE(o, i + 1);
        else
            o = PUTS(o, "QUIT\r\n");
        write_all(out, (size_t)(o - out));
        expect(250, "end of data", NULL);
        if (!last) {
            expect(250, "MAIL", NULL);
            expect(250, "RCPT", NULL);
            expect(354, "DATA", NULL);
        } else {
            expect(221, "QUIT", NULL);
        }
    }
    close(sock);

    clock_gettime(CLOCK_MONOTONIC, &t1);
    const double secs = (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9;
    printf("sent=%ld seconds=%.3f rate=%.1f\n", count, secs, (double)count / secs);
    return 0;
}
