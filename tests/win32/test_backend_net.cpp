// The URL fetch (WinINet) and the TCP client (Winsock) against peers in this
// process, on the loopback address.
#include "tests/win32/support.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

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
    SOCKET accept() { return ::accept(socket_, nullptr, nullptr); }

private:
    SOCKET socket_;
    unsigned port_ = 0;
};

std::string ReceiveRequest(SOCKET s) {
    std::string request;
    char chunk[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
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
    return std::string("HTTP/1.0 ") + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
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
