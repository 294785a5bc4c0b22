// The URL fetch and the gateway's HTTP session (WinINet) and the TCP client
// (Winsock) against peers in this process, on the loopback address.
#include "tests/win32/support.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/upnp/http_session.h"
#include "platform/win32/url_parts.h"
#include "runtime/errors.h"

namespace vx::platform::win32 {
namespace {

// A listening socket on 127.0.0.1 at a port of the system's choice.
class Listener {
public:
    Listener() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(socket_, 4);
        int size = sizeof a;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() {
        closesocket(socket_);
        WSACleanup();
    }
    unsigned port() const { return port_; }
    SOCKET socket() const { return socket_; }
    SOCKET accept() { return ::accept(socket_, nullptr, nullptr); }

private:
    SOCKET socket_;
    unsigned port_ = 0;
};

// Where the first whole request in `text` ends (its head and its
// Content-Length body), or npos while it is not all there.
std::size_t RequestEnd(const std::string& text) {
    const std::size_t head = text.find("\r\n\r\n");
    if (head == std::string::npos) return std::string::npos;
    std::size_t length = 0;
    for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"})
        if (std::size_t at = text.find(name); at != std::string::npos && at < head)
            length = std::strtoul(text.c_str() + at + std::strlen(name), nullptr, 10);
    return text.size() < head + 4 + length ? std::string::npos : head + 4 + length;
}

// The request, body included: a server that closed with a body still unread
// would reset the line instead of answering.
std::string ReceiveRequest(SOCKET s) {
    std::string request;
    char chunk[1024];
    while (RequestEnd(request) == std::string::npos) {
        int n = recv(s, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        request.append(chunk, static_cast<std::size_t>(n));
    }
    return request;
}

void SendAll(SOCKET s, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        int n = send(s, text.data() + done, static_cast<int>(text.size() - done), 0);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

// One HTTP exchange answered with `reply`; the request is kept.
class OneShotServer {
public:
    explicit OneShotServer(std::string reply, bool silent = false)
        : thread_([this, reply = std::move(reply), silent] {
              SOCKET c = listener_.accept();
              request_ = ReceiveRequest(c);
              if (silent) {
                  // Holds the line open without a word (at most 15 s, so a
                  // client that never gives up cannot hang the run).
                  for (int i = 0; i < 750 && !stop_; ++i) Sleep(20);
              } else {
                  SendAll(c, reply);
              }
              shutdown(c, SD_BOTH);
              closesocket(c);
          }) {}
    ~OneShotServer() {
        stop_ = true;
        thread_.join();
    }
    std::string url(const std::string& userInfo) const {
        return "http://" + userInfo + "127.0.0.1:" + std::to_string(listener_.port()) + "/statswan.cmd";
    }
    const std::string& request() const { return request_; }

private:
    Listener listener_;
    std::string request_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string Reply(const char* status, const std::string& body) {
    return std::string("HTTP/1.0 ") + status +
           "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

int ErrorNumberOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(UrlFetch, SendsBasicAuthenticationFromTheUrlAndReturnsThePage) {
    UrlResponse r;
    std::string request;
    {
        OneShotServer server(Reply("200 OK", "<TD>stats</td>"));
        r = OpenURL(server.url("admin:pa:ss@"));
        request = server.request();
    }
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "<TD>stats</td>");
    EXPECT_EQ(request.rfind("GET /statswan.cmd HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("Authorization: Basic " + Base64("admin:pa:ss") + "\r\n"), std::string::npos) << request;
}

TEST(UrlFetch, AnAuthenticationFailureStillReturnsItsPage) {
    OneShotServer server(Reply("401 Unauthorized", "System Authentication Failed"));
    UrlResponse r = OpenURL(server.url("admin:wrong@"));
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(r.body, "System Authentication Failed");
}

TEST(UrlFetch, FailuresAreRunTimeErrorsWithinBoundedTime) {
    {
        OneShotServer server(Reply("200 OK", std::string(kMaxBodyBytes + 1, 'x')));
        EXPECT_EQ(ErrorNumberOf([&] { OpenURL(server.url("")); }), kErrInternet) << "too large a page";
    }
    {
        OneShotServer server("", true);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ErrorNumberOf([&] { OpenURL(server.url("")); }), kErrInternet) << "no answer";
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    }
    unsigned closedPort;
    {
        Listener gone;
        closedPort = gone.port();
    }
    EXPECT_EQ(ErrorNumberOf([&] { OpenURL("http://127.0.0.1:" + std::to_string(closedPort) + "/"); }), kErrInternet);
    EXPECT_EQ(ErrorNumberOf([&] { OpenURL("telnet://127.0.0.1/"); }), kErrInternet);
}

// An HTTP/1.1 server that keeps every connection open for more requests and
// notes which connection each request came on. With `hangUp` it closes the
// connection after each reply without saying so, as a router does with an
// idle one.
class KeepAliveServer {
public:
    struct Seen {
        int connection;
        std::string request;  // head and body
    };

    explicit KeepAliveServer(std::string body, bool hangUp = false)
        : body_(std::move(body)), hangUp_(hangUp), thread_([this] { serve(); }) {}
    ~KeepAliveServer() {
        stop_ = true;
        thread_.join();
    }
    std::string url(const std::string& path, const std::string& userInfo = "") const {
        return "http://" + userInfo + "127.0.0.1:" + std::to_string(listener_.port()) + path;
    }
    std::vector<Seen> seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    struct Peer {
        SOCKET socket;
        int number;
        std::string pending;
    };

    // Polls so that it can stop while the client still holds a connection.
    void serve() {
        std::vector<Peer> peers;
        int connections = 0;
        while (!stop_) {
            fd_set readable;
            FD_ZERO(&readable);
            SOCKET listening = listener_.socket();
            FD_SET(listening, &readable);
            for (const Peer& p : peers) FD_SET(p.socket, &readable);
            timeval tick{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &tick) <= 0) continue;
            if (FD_ISSET(listening, &readable)) peers.push_back(Peer{listener_.accept(), connections++, {}});
            for (auto p = peers.begin(); p != peers.end();) {
                if (FD_ISSET(p->socket, &readable) && !receive(*p)) {
                    closesocket(p->socket);
                    p = peers.erase(p);
                } else {
                    ++p;
                }
            }
        }
        for (const Peer& p : peers) closesocket(p.socket);
    }

    // Reads what came and answers every whole request; false once the
    // connection is over.
    bool receive(Peer& p) {
        char chunk[4096];
        const int n = recv(p.socket, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        p.pending.append(chunk, static_cast<std::size_t>(n));
        for (;;) {
            const std::size_t end = RequestEnd(p.pending);
            if (end == std::string::npos) return true;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back(Seen{p.number, p.pending.substr(0, end)});
            }
            p.pending.erase(0, end);
            SendAll(p.socket, "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                  std::to_string(body_.size()) + "\r\n\r\n" + body_);
            if (hangUp_) return false;
        }
    }

    Listener listener_;
    std::string body_;
    bool hangUp_;
    std::mutex mutex_;
    std::vector<Seen> seen_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(UrlFetch, KeepsTheConnectionToTheRouterBetweenReadings) {
    {
        KeepAliveServer router("<td>1</td>");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(OpenURL(router.url("/statswan.cmd")).body, "<td>1</td>");
        const auto seen = router.seen();
        ASSERT_EQ(seen.size(), 3u);
        for (const auto& s : seen) EXPECT_EQ(s.connection, 0) << "a new connection for a reading";
    }
    // Another router, then one that hangs up after every page: each is
    // reached, and a connection closed under the kept one costs no reading.
    KeepAliveServer other("<td>2</td>", true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(OpenURL(other.url("/")).body, "<td>2</td>") << "reading " << i;
    EXPECT_EQ(other.seen().size(), 3u);
}

TEST(WorkerHttp, PostsTheBodyWithItsHeadersOverOneKeptConnection) {
    // The reply's bytes come back as they are (UTF-8 XML), unlike a page's.
    KeepAliveServer gateway("<u:R>caf\xC3\xA9</u:R>");
    auto http = CreateHttpSession();
    const std::string body = "<?xml version=\"1.0\"?>\r\n<s:Envelope>GetTotalBytesReceived</s:Envelope>\r\n";
    for (int i = 0; i < 2; ++i) {
        UrlResponse r = http->post(gateway.url("/ctl/CommonIfCfg"), "text/xml; charset=\"utf-8\"",
                                   "SOAPAction: \"urn:x#GetTotalBytesReceived\"", body);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, "<u:R>caf\xC3\xA9</u:R>");
    }
    const auto seen = gateway.seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& s : seen) {
        EXPECT_EQ(s.connection, 0) << "a new connection for a call";
        EXPECT_EQ(s.request.rfind("POST /ctl/CommonIfCfg HTTP/1.1\r\n", 0), 0u) << s.request;
        EXPECT_NE(s.request.find("\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n"), std::string::npos) << s.request;
        EXPECT_NE(s.request.find("\r\nSOAPAction: \"urn:x#GetTotalBytesReceived\"\r\n"), std::string::npos)
            << s.request;
        EXPECT_NE(s.request.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos)
            << s.request;
        const std::size_t head = s.request.find("\r\n\r\n");
        EXPECT_EQ(head == std::string::npos ? "" : s.request.substr(head + 4), body);
    }
}

TEST(WorkerHttp, AWorkersSessionGetsPagesAsOpenUrlDoesOverOneKeptConnection) {
    KeepAliveServer router("<td>caf\xE9</td>");  // the page in the code page
    auto http = CreateHttpSession();
    for (int i = 0; i < 2; ++i) {
        UrlResponse r = http->get(router.url("/statswan.cmd", "admin:pa:ss@"));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, "<td>caf\xC3\xA9</td>");
    }
    const auto seen = router.seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& s : seen) {
        EXPECT_EQ(s.connection, 0) << "a new connection for a reading";
        EXPECT_EQ(s.request.rfind("GET /statswan.cmd HTTP/1.1\r\n", 0), 0u) << s.request;
        EXPECT_NE(s.request.find("\r\nAuthorization: Basic " + Base64("admin:pa:ss") + "\r\n"), std::string::npos)
            << s.request;
    }
}

TEST(WorkerHttp, FailuresAreRunTimeErrorsWithinBoundedTimeAndTheSessionGoesOn) {
    auto http = CreateHttpSession();
    auto post = [&](const std::string& url) { http->post(url, "text/xml", "SOAPAction: \"x#y\"", "<x/>"); };
    {
        OneShotServer silent("", true);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ErrorNumberOf([&] { post(silent.url("")); }), kErrInternet) << "no answer";
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    }
    {
        OneShotServer huge(Reply("200 OK", std::string(kMaxBodyBytes + 1, 'x')));
        EXPECT_EQ(ErrorNumberOf([&] { post(huge.url("")); }), kErrInternet) << "too large a reply";
    }
    unsigned closedPort;
    {
        Listener gone;
        closedPort = gone.port();
    }
    EXPECT_EQ(ErrorNumberOf([&] { post("http://127.0.0.1:" + std::to_string(closedPort) + "/ctl"); }), kErrInternet);
    EXPECT_EQ(ErrorNumberOf([&] { post("https://127.0.0.1/ctl"); }), kErrInternet);

    // A gateway that refuses a call answers with its fault, not an error; and
    // the session still works after its failures.
    {
        OneShotServer refusing(Reply("500 Internal Server Error", "<errorCode>401</errorCode>"));
        UrlResponse r = http->post(refusing.url(""), "text/xml", "SOAPAction: \"x#y\"", "<x/>");
        EXPECT_EQ(r.status, 500);
        EXPECT_EQ(r.body, "<errorCode>401</errorCode>");
    }
    KeepAliveServer gateway("<ok/>", true);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(http->post(gateway.url("/ctl"), "text/xml", "SOAPAction: \"x#y\"", "<x/>").body, "<ok/>");
    EXPECT_EQ(gateway.seen().size(), 2u);
}

SocketState WaitWhileConnecting(TcpClient& client) {
    for (int i = 0; i < 300 && client.State() == SocketState::Connecting; ++i) Sleep(10);
    return client.State();
}

TEST(TcpClient, ConnectsWithoutBlockingThenSendsAndReceivesText) {
    Listener listener;
    auto client = CreateTcpClient();
    client->RemoteHost = "127.0.0.1";
    client->RemotePort = static_cast<long>(listener.port());
    client->Connect();
    SOCKET peer = listener.accept();
    ASSERT_EQ(WaitWhileConnecting(*client), SocketState::Connected);

    client->SendData("admin\r\n");
    client->SendData("caf\xC3\xA9\r\n");  // goes out in the code page
    char got[64] = {};
    std::string received;
    while (received.size() < 13) {
        int n = recv(peer, got, sizeof got, 0);
        ASSERT_GT(n, 0);
        received.append(got, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(received, "admin\r\ncaf\xE9\r\n");

    SendAll(peer, "RX bytes:1000 (1.0 KB)\r\n> ");
    Sleep(50);
    std::string data;
    client->GetData(data);
    EXPECT_EQ(data, "RX bytes:1000 (1.0 KB)\r\n> ");
    client->GetData(data);
    EXPECT_EQ(data, "");  // all of it was taken the first time

    // The router hangs up: its last words still arrive, then the client is closed.
    SendAll(peer, "bye");
    closesocket(peer);
    Sleep(50);
    client->GetData(data);
    EXPECT_EQ(data, "bye");
    EXPECT_EQ(client->State(), SocketState::Closed);
    EXPECT_EQ(ErrorNumberOf([&] { client->GetData(data); }), kErrSocketNotConnected);
}

TEST(TcpClient, WithoutAConnectionReadingAndSendingAreErrors) {
    auto client = CreateTcpClient();
    std::string data;
    EXPECT_EQ(ErrorNumberOf([&] { client->GetData(data); }), kErrSocketNotConnected);
    EXPECT_EQ(ErrorNumberOf([&] { client->SendData("x"); }), kErrSocketNotConnected);

    unsigned closedPort;
    {
        Listener gone;
        closedPort = gone.port();
    }
    client->RemoteHost = "127.0.0.1";
    client->RemotePort = static_cast<long>(closedPort);
    client->Connect();  // returns at once; the refusal shows in the state
    EXPECT_EQ(WaitWhileConnecting(*client), SocketState::Error);
    EXPECT_EQ(ErrorNumberOf([&] { client->GetData(data); }), kErrSocketNotConnected);

    client->RemoteHost = "no such host name.invalid";
    client->Connect();
    EXPECT_EQ(client->State(), SocketState::Error);
}

}  // namespace
}  // namespace vx::platform::win32
