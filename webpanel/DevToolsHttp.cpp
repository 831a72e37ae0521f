#include "DevToolsHttp.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <chrono>

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace DevToolsHttp {

bool request(const char* method, const std::string& target, std::string& body, int timeoutMs, uint16_t port)
{
    try {
        net::io_context io;
        beast::tcp_stream stream(io);
        stream.expires_after(std::chrono::milliseconds(timeoutMs));
        stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port));
        http::request<http::empty_body> req(std::string(method) == "PUT" ? http::verb::put : http::verb::get, target, 11);
        req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
        http::write(stream, req);
        beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(stream, buffer, res);
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        if (res.result_int() != 200)
            return false;
        body = res.body();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool splitWsUrl(const std::string& url, std::string& host, std::string& port, std::string& path)
{
    const std::string scheme = "ws://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return false;
    size_t slash = url.find('/', scheme.size());
    std::string authority = url.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    path = slash == std::string::npos ? "/" : url.substr(slash);
    size_t colon = authority.rfind(':');
    host = authority.substr(0, colon);
    port = colon == std::string::npos ? "80" : authority.substr(colon + 1);
    return !host.empty() && !port.empty();
}

bool sendCommand(const std::string& wsUrl, const std::string& method, const std::string& paramsJson, int timeoutMs)
{
    std::string host, port, path;
    if (!splitWsUrl(wsUrl, host, port, path))
        return false;
    bool sent = false;
    try {
        net::io_context io;
        websocket::stream<beast::tcp_stream> ws(io);
        beast::get_lowest_layer(ws).expires_after(std::chrono::milliseconds(timeoutMs));
        beast::get_lowest_layer(ws).connect(
            tcp::endpoint(net::ip::make_address(host), static_cast<unsigned short>(std::stoi(port))));
        ws.handshake(host + ":" + port, path);
        ws.write(net::buffer("{\"id\":1,\"method\":\"" + method + "\",\"params\":" + paramsJson + "}"));
        sent = true;
        beast::flat_buffer buffer;
        ws.read(buffer);  // the answer, or the end of the connection when the engine goes
        beast::error_code ignored;
        ws.close(websocket::close_code::normal, ignored);
    } catch (const std::exception&) {
    }
    return sent;
}

}  // namespace DevToolsHttp
