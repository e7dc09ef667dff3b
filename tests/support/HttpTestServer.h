// A small HTTP/1.1 server for the download tests, on 127.0.0.1 with a port the system
// picks, started by the constructor and stopped by the destructor. Every connection
// carries one request and is closed after the answer. The paths are fault endpoints:
//
//   /file/N          200, Content-Length N, N bytes of body_bytes(N)
//   /slow/N          the same, 1 KiB every 20 ms (a transfer still running when a test
//                    wants one); ends early when the server stops
//   /cut/N           200, Content-Length N, then the connection closes after N/2 bytes
//   /chunked/N       200, chunked, no length, N bytes of body_bytes(N)
//   /chain/K/REST    302 to /chain/K-1/REST, and /chain/0/REST answers as /REST
//   /loop            302 to itself, for ever
//   /moved?to=URL    302 to URL, whatever its scheme
//   /stall/N         200, Content-Length N, N/2 bytes, then nothing until the server stops
//   /announce/N      200, Content-Length N (any 64-bit number), 64 KiB of it, then the close
//   /silent          reads the request and answers nothing until the server stops
//   /endless         200, chunked, bytes for as long as the client reads them
//   a published path 200 with the bytes published for it (publish())
//   anything else    404 with error_page() as the body
//
// A query is ignored for routing. A request whose target is an absolute URL
// ("GET http://host/path HTTP/1.1") is answered as its path: the server is then a proxy
// that knows every host. Every request is recorded with its headers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zyrel_test {

struct recorded_request {
    std::string method;
    std::string target; // as sent: origin form ("/file/1") or absolute form (through a proxy)
    std::map<std::string, std::string> headers; // names in lower case
    std::string header(const std::string& name) const;
    bool through_proxy() const { return target.rfind("http://", 0) == 0; }
};

class http_test_server {
public:
    http_test_server();
    ~http_test_server();
    http_test_server(const http_test_server&) = delete;
    http_test_server& operator=(const http_test_server&) = delete;

    std::uint16_t port() const { return m_port; }
    // "127.0.0.1:PORT", and "http://127.0.0.1:PORT" followed by the path.
    std::string authority() const;
    std::string url(const std::string& path) const;
    // Requests answered or being answered, in the order they arrived.
    std::vector<recorded_request> requests() const;
    // Connections accepted so far, whether or not they sent a request.
    std::size_t connections() const { return m_accepted.load(); }
    // Serves `body` at `path` ("/Setup.exe") from now on; a path is published once.
    void publish(const std::string& path, std::string body);
    // Closes the listening socket, ends slow answers and waits for every connection.
    void stop();

    static std::string body_bytes(std::size_t count);
    static std::string error_page();

private:
    void accept_loop();
    void serve(std::intptr_t connection);
    const std::string* published(const std::string& path) const;

    std::intptr_t m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_accepted{0};
    std::thread m_acceptor;
    mutable std::mutex m_lock;
    std::vector<std::thread> m_connections;
    std::vector<recorded_request> m_requests;
    std::map<std::string, std::string> m_published;
};

// A port on 127.0.0.1 where nothing listens (bound, then released, so nothing else holds
// it for a moment).
std::uint16_t unused_loopback_port();

// Whether something on 127.0.0.1 accepts a connection on the port.
bool loopback_port_accepts(std::uint16_t port);

} // namespace zyrel_test
