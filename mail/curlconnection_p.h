#pragma once
// The connection's inner state, shared by the files that open the
// connection and talk on it.

#include "curlconnection.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <atomic>
#include <curl/curl.h>
#include <functional>
#include <mutex>
#include <sys/socket.h>

// What libcurl's debug stream shows of the dialogue while it opens the
// connection: the capabilities, whether STARTTLS/STLS was offered and
// accepted, and the size of each reply. A reply over the limits makes the
// callback shut the socket, which ends libcurl's part at once.
struct CurlConnection::State {
    MailProtocol protocol = MailProtocol::Smtp;
    CURL *handle = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_socket_t socket = CURL_SOCKET_BAD;
    bool open = false;
    bool implicitTls = false;
    bool pinned = false;
    // What the TLS layer saw when its handshake ended.
    QString tlsVersion;
    QList<QByteArray> peerChain;
    Stage stage = Stage::Connect;
    QString peer;
    int timeoutMs = 300000;
    QByteArray caBlob;
    const std::atomic<bool> *aborted = nullptr;
    std::function<void(curl_socket_t)> onSocket;

    // Filled by the debug callback during open().
    QByteArray helloVerb; // EHLO, or HELO where the server refused EHLO
    QByteArrayList caps;
    bool inCapabilities = false;
    bool firstCapabilityLine = false;
    bool tlsOffered = false;
    bool upgradeSent = false;
    bool upgradeAnswered = false;
    bool upgradeAccepted = false;
    bool overflow = false;
    bool greeted = false;            // the server said something
    bool pinMismatch = false;        // the server showed none of the pinned keys
    bool certificateRefused = false; // its certificate failed the check
    qsizetype replyBytes = 0;
    QByteArray lastLine;

    // Received and not yet read as replies; [pos, size) is unread and
    // [pos, scan) holds no line end.
    QByteArray in;
    qsizetype pos = 0;
    qsizetype scan = 0;

    void onCommand(QByteArrayView line);
    void onReplyLine(QByteArrayView line);
};

// What abort() needs from another thread: the flag, and the socket to shut
// (under the lock, so a socket closed meanwhile is never touched).
struct CurlConnection::Abort {
    std::atomic<bool> requested{false};
    std::mutex lock;
    curl_socket_t socket = CURL_SOCKET_BAD;

    void setSocket(curl_socket_t fd)
    {
        std::lock_guard<std::mutex> guard(lock);
        socket = fd;
        if (requested && fd != CURL_SOCKET_BAD)
            ::shutdown(fd, SHUT_RDWR);
    }
};
