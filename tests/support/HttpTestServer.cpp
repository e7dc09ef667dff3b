// The download tests' HTTP server: blocking sockets, one thread per connection, select()
// with short time-outs so that stopping never waits on a peer. Winsock and BSD sockets
// differ only in the few lines under _WIN32.
#include "HttpTestServer.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <utility>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zyrel_test {
namespace {

#if defined(_WIN32)
using native_socket = SOCKET;
constexpr int kSendFlags = 0;
void close_socket(native_socket s) { closesocket(s); }
struct winsock_session {
    winsock_session()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};
void ensure_sockets()
{
    static winsock_session session;
}
#else
using native_socket = int;
constexpr int kSendFlags = MSG_NOSIGNAL; // a client that left must not kill the test with SIGPIPE
void close_socket(native_socket s) { ::close(s); }
void ensure_sockets() {}
#endif

native_socket as_socket(std::intptr_t s) { return static_cast<native_socket>(s); }

// Whether the socket becomes readable within the time given.
bool readable(native_socket s, int milliseconds)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &limit) > 0;
}

bool send_all(native_socket s, const char* data, std::size_t size)
{
    while (size > 0) {
        const int sent = ::send(s, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), kSendFlags);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool send_text(native_socket s, const std::string& text) { return send_all(s, text.data(), text.size()); }

native_socket loopback_socket(std::uint16_t port, std::uint16_t& bound_port)
{
    ensure_sockets();
    native_socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("http_test_server: bind failed");
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    bound_port = ntohs(address.sin_port);
    return s;
}

std::string header_block(const std::string& status, const std::vector<std::string>& lines)
{
    std::string out = "HTTP/1.1 " + status + "\r\n";
    for (const std::string& line : lines)
        out += line + "\r\n";
    out += "Connection: close\r\n\r\n";
    return out;
}

std::size_t number_after(const std::string& path, const std::string& prefix)
{
    return static_cast<std::size_t>(std::strtoull(path.c_str() + prefix.size(), nullptr, 10));
}

} // namespace

std::string recorded_request::header(const std::string& name) const
{
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

std::string http_test_server::body_bytes(std::size_t count)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4099 + 7) % 251);
    return bytes;
}

std::string http_test_server::error_page()
{
    return "<html><body><h1>404 Not Found</h1><p>No such installer here.</p></body></html>\n";
}

std::uint16_t unused_loopback_port()
{
    std::uint16_t port = 0;
    const native_socket s = loopback_socket(0, port);
    close_socket(s);
    return port;
}

bool loopback_port_accepts(std::uint16_t port)
{
    ensure_sockets();
    const native_socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool accepted = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close_socket(s);
    return accepted;
}

http_test_server::http_test_server()
{
    const native_socket s = loopback_socket(0, m_port);
    if (::listen(s, 64) != 0) {
        close_socket(s);
        throw std::runtime_error("http_test_server: listen failed");
    }
    m_listener = static_cast<std::intptr_t>(s);
    m_acceptor = std::thread([this] { accept_loop(); });
}

http_test_server::~http_test_server()
{
    stop();
}

std::string http_test_server::authority() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string http_test_server::url(const std::string& path) const
{
    return "http://" + authority() + path;
}

std::vector<recorded_request> http_test_server::requests() const
{
    std::lock_guard<std::mutex> held(m_lock);
    return m_requests;
}

void http_test_server::stop()
{
    if (m_stopping.exchange(true))
        return;
    if (m_acceptor.joinable())
        m_acceptor.join();
    close_socket(as_socket(m_listener));
    std::vector<std::thread> connections;
    {
        std::lock_guard<std::mutex> held(m_lock);
        connections.swap(m_connections);
    }
    for (std::thread& connection : connections)
        connection.join();
}

void http_test_server::accept_loop()
{
    const native_socket listener = as_socket(m_listener);
    while (!m_stopping.load()) {
        if (!readable(listener, 50))
            continue;
        const native_socket connection = ::accept(listener, nullptr, nullptr);
        if (connection == static_cast<native_socket>(-1))
            continue;
        ++m_accepted;
        std::lock_guard<std::mutex> held(m_lock);
        m_connections.emplace_back([this, connection] { serve(static_cast<std::intptr_t>(connection)); });
    }
}

void http_test_server::publish(const std::string& path, std::string body)
{
    std::lock_guard<std::mutex> held(m_lock);
    m_published.emplace(path, std::move(body));
}

const std::string* http_test_server::published(const std::string& path) const
{
    // A published body is never replaced (publish keeps the first), so the pointer stays
    // good while a connection sends from it.
    std::lock_guard<std::mutex> held(m_lock);
    const auto found = m_published.find(path);
    return found == m_published.end() ? nullptr : &found->second;
}

void http_test_server::serve(std::intptr_t handle)
{
    const native_socket s = as_socket(handle);
    // The request head, read for at most ten seconds.
    std::string head;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (head.find("\r\n\r\n") == std::string::npos && !m_stopping.load() &&
           std::chrono::steady_clock::now() < give_up) {
        if (!readable(s, 50))
            continue;
        char buffer[4096];
        const int got = ::recv(s, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    if (head.find("\r\n\r\n") == std::string::npos) {
        close_socket(s);
        return;
    }

    recorded_request request;
    {
        const std::size_t line_end = head.find("\r\n");
        const std::string line = head.substr(0, line_end);
        const std::size_t first = line.find(' ');
        const std::size_t second = line.find(' ', first + 1);
        request.method = line.substr(0, first);
        request.target = line.substr(first + 1, second - first - 1);
        std::size_t at = line_end + 2;
        while (at < head.size()) {
            const std::size_t end = head.find("\r\n", at);
            if (end == at || end == std::string::npos)
                break;
            const std::string field = head.substr(at, end - at);
            const std::size_t colon = field.find(':');
            if (colon != std::string::npos) {
                std::string name = field.substr(0, colon);
                std::transform(name.begin(), name.end(), name.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                std::size_t value = colon + 1;
                while (value < field.size() && field[value] == ' ')
                    ++value;
                request.headers[name] = field.substr(value);
            }
            at = end + 2;
        }
    }
    {
        std::lock_guard<std::mutex> held(m_lock);
        m_requests.push_back(request);
    }

    // The path: a proxy request's absolute URL loses its scheme and host, and the query
    // does not route.
    std::string path = request.target;
    if (request.through_proxy()) {
        const std::size_t slash = path.find('/', 7);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    const std::size_t query = path.find('?');
    const std::string arguments = query == std::string::npos ? std::string() : path.substr(query + 1);
    path = path.substr(0, query);
    // Holds a connection open, sending nothing, until the server stops.
    const auto hold = [this] {
        while (!m_stopping.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    while (path.rfind("/chain/", 0) == 0) {
        const std::size_t hops = number_after(path, "/chain/");
        const std::size_t rest = path.find('/', 7);
        const std::string remainder = rest == std::string::npos ? "/" : path.substr(rest);
        if (hops == 0) {
            path = remainder;
            continue;
        }
        send_text(s, header_block("302 Found", {"Location: /chain/" + std::to_string(hops - 1) + remainder,
                                                "Content-Length: 0"}));
        close_socket(s);
        return;
    }

    if (path.rfind("/file/", 0) == 0 || path.rfind("/cut/", 0) == 0) {
        const bool cut = path.rfind("/cut/", 0) == 0;
        const std::size_t size = number_after(path, cut ? "/cut/" : "/file/");
        const std::string body = body_bytes(size);
        send_text(s, header_block("200 OK", {"Content-Type: application/octet-stream",
                                             "Content-Length: " + std::to_string(size)}));
        send_all(s, body.data(), cut ? size / 2 : size);
    } else if (path.rfind("/slow/", 0) == 0) {
        const std::size_t size = number_after(path, "/slow/");
        const std::string body = body_bytes(size);
        send_text(s, header_block("200 OK", {"Content-Length: " + std::to_string(size)}));
        for (std::size_t at = 0; at < size && !m_stopping.load(); at += 1024) {
            if (!send_all(s, body.data() + at, std::min<std::size_t>(1024, size - at)))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } else if (path.rfind("/chunked/", 0) == 0) {
        const std::size_t size = number_after(path, "/chunked/");
        const std::string body = body_bytes(size);
        send_text(s, header_block("200 OK", {"Transfer-Encoding: chunked"}));
        for (std::size_t at = 0; at < size; at += 4096) {
            const std::size_t piece = std::min<std::size_t>(4096, size - at);
            char size_line[32];
            std::snprintf(size_line, sizeof size_line, "%zx\r\n", piece);
            if (!send_text(s, size_line) || !send_all(s, body.data() + at, piece) || !send_text(s, "\r\n"))
                break;
        }
        send_text(s, "0\r\n\r\n");
    } else if (path.rfind("/stall/", 0) == 0) {
        const std::size_t size = number_after(path, "/stall/");
        const std::string body = body_bytes(size);
        send_text(s, header_block("200 OK", {"Content-Length: " + std::to_string(size)}));
        send_all(s, body.data(), size / 2);
        hold();
    } else if (path.rfind("/announce/", 0) == 0) {
        const std::string announced = path.substr(std::strlen("/announce/"));
        send_text(s, header_block("200 OK", {"Content-Length: " + announced}));
        const std::string piece = body_bytes(65536);
        send_all(s, piece.data(), piece.size());
    } else if (path == "/silent") {
        hold();
    } else if (path == "/endless") {
        send_text(s, header_block("200 OK", {"Transfer-Encoding: chunked"}));
        const std::string piece = body_bytes(65536);
        while (!m_stopping.load() && send_text(s, "10000\r\n") && send_all(s, piece.data(), piece.size()) &&
               send_text(s, "\r\n")) {
        }
    } else if (path == "/moved" && arguments.rfind("to=", 0) == 0) {
        send_text(s, header_block("302 Found", {"Location: " + arguments.substr(3), "Content-Length: 0"}));
    } else if (path == "/loop") {
        send_text(s, header_block("302 Found", {"Location: /loop", "Content-Length: 0"}));
    } else if (const std::string* body = published(path)) {
        send_text(s, header_block("200 OK", {"Content-Type: application/octet-stream",
                                             "Content-Length: " + std::to_string(body->size())}));
        send_all(s, body->data(), body->size());
    } else {
        const std::string page = error_page();
        send_text(s, header_block("404 Not Found", {"Content-Type: text/html",
                                                    "Content-Length: " + std::to_string(page.size())}));
        send_text(s, page);
    }
#if defined(_WIN32)
    shutdown(s, SD_SEND);
#else
    shutdown(s, SHUT_WR);
#endif
    // Lets the client read everything before the close; a client that keeps sending is
    // not waited for long.
    for (int i = 0; i < 20 && readable(s, 50);) {
        char drain[4096];
        if (::recv(s, drain, sizeof drain, 0) <= 0)
            break;
        ++i;
    }
    close_socket(s);
}

} // namespace zyrel_test
