#include "NetErrors.h"

#include <cctype>
#include <cstring>

namespace {

struct NetError {
    const char* name;
    int number;
};

const NetError kNetErrors[] = {
    {"IO_PENDING", -1}, {"FAILED", -2}, {"ABORTED", -3}, {"INVALID_ARGUMENT", -4}, {"INVALID_HANDLE", -5},
    {"FILE_NOT_FOUND", -6}, {"TIMED_OUT", -7}, {"FILE_TOO_BIG", -8}, {"UNEXPECTED", -9}, {"ACCESS_DENIED", -10},
    {"NOT_IMPLEMENTED", -11}, {"INSUFFICIENT_RESOURCES", -12}, {"OUT_OF_MEMORY", -13},
    {"UPLOAD_FILE_CHANGED", -14}, {"SOCKET_NOT_CONNECTED", -15}, {"FILE_EXISTS", -16},
    {"FILE_PATH_TOO_LONG", -17}, {"FILE_NO_SPACE", -18}, {"FILE_VIRUS_INFECTED", -19},
    {"BLOCKED_BY_CLIENT", -20}, {"NETWORK_CHANGED", -21}, {"BLOCKED_BY_ADMINISTRATOR", -22},
    {"SOCKET_IS_CONNECTED", -23}, {"CONNECTION_CLOSED", -100}, {"CONNECTION_RESET", -101}, {"CONNECTION_REFUSED", -102},
    {"CONNECTION_ABORTED", -103}, {"CONNECTION_FAILED", -104}, {"NAME_NOT_RESOLVED", -105},
    {"INTERNET_DISCONNECTED", -106}, {"SSL_PROTOCOL_ERROR", -107}, {"ADDRESS_INVALID", -108},
    {"ADDRESS_UNREACHABLE", -109}, {"SSL_CLIENT_AUTH_CERT_NEEDED", -110}, {"TUNNEL_CONNECTION_FAILED", -111},
    {"NO_SSL_VERSIONS_ENABLED", -112}, {"SSL_VERSION_OR_CIPHER_MISMATCH", -113},
    {"SSL_RENEGOTIATION_REQUESTED", -114}, {"PROXY_AUTH_UNSUPPORTED", -115}, {"BAD_SSL_CLIENT_AUTH_CERT", -117},
    {"CONNECTION_TIMED_OUT", -118}, {"HOST_RESOLVER_QUEUE_TOO_LARGE", -119}, {"SOCKS_CONNECTION_FAILED", -120},
    {"SOCKS_CONNECTION_HOST_UNREACHABLE", -121}, {"ALPN_NEGOTIATION_FAILED", -122},
    {"SSL_NO_RENEGOTIATION", -123}, {"PROXY_AUTH_REQUESTED", -127}, {"PROXY_CONNECTION_FAILED", -130},
    {"MANDATORY_PROXY_CONFIGURATION_FAILED", -131}, {"PROXY_CERTIFICATE_INVALID", -136},
    {"NAME_RESOLUTION_FAILED", -137}, {"NETWORK_ACCESS_DENIED", -138}, {"MSG_TOO_BIG", -142}, {"WS_PROTOCOL_ERROR", -145}, {"ADDRESS_IN_USE", -147},
    {"SSL_HANDSHAKE_NOT_COMPLETED", -148}, {"SSL_BAD_PEER_PUBLIC_KEY", -149},
    {"SSL_PINNED_KEY_NOT_IN_CERT_CHAIN", -150}, {"SSL_DECRYPT_ERROR_ALERT", -153},
    {"CERT_COMMON_NAME_INVALID", -200}, {"CERT_DATE_INVALID", -201}, {"CERT_AUTHORITY_INVALID", -202},
    {"CERT_CONTAINS_ERRORS", -203}, {"CERT_NO_REVOCATION_MECHANISM", -204},
    {"CERT_UNABLE_TO_CHECK_REVOCATION", -205}, {"CERT_REVOKED", -206}, {"CERT_INVALID", -207},
    {"CERT_WEAK_SIGNATURE_ALGORITHM", -208}, {"CERT_NON_UNIQUE_NAME", -210}, {"CERT_WEAK_KEY", -211},
    {"CERT_NAME_CONSTRAINT_VIOLATION", -212}, {"CERT_VALIDITY_TOO_LONG", -213},
    {"INVALID_URL", -300}, {"DISALLOWED_URL_SCHEME", -301}, {"UNKNOWN_URL_SCHEME", -302},
    {"INVALID_REDIRECT", -303}, {"TOO_MANY_REDIRECTS", -310}, {"UNSAFE_REDIRECT", -311}, {"UNSAFE_PORT", -312},
    {"INVALID_RESPONSE", -320}, {"INVALID_CHUNKED_ENCODING", -321}, {"METHOD_NOT_SUPPORTED", -322},
    {"UNEXPECTED_PROXY_AUTH", -323}, {"EMPTY_RESPONSE", -324}, {"RESPONSE_HEADERS_TOO_BIG", -325},
    {"PAC_SCRIPT_FAILED", -328}, {"REQUEST_RANGE_NOT_SATISFIABLE", -329}, {"MALFORMED_IDENTITY", -330},
    {"CONTENT_DECODING_FAILED", -331}, {"NETWORK_IO_SUSPENDED", -332}, {"NO_SUPPORTED_PROXIES", -336},
    {"HTTP2_PROTOCOL_ERROR", -337}, {"INVALID_AUTH_CREDENTIALS", -338}, {"UNSUPPORTED_AUTH_SCHEME", -339},
    {"ENCODING_DETECTION_FAILED", -340}, {"MISSING_AUTH_CREDENTIALS", -341},
    {"CONTENT_LENGTH_MISMATCH", -354}, {"INCOMPLETE_CHUNKED_ENCODING", -355},
    {"CACHE_MISS", -400}, {"INSECURE_RESPONSE", -501}, {"DNS_MALFORMED_RESPONSE", -800}, {"DNS_SERVER_REQUIRES_TCP", -801}, {"DNS_SERVER_FAILED", -802},
    {"DNS_TIMED_OUT", -803}, };

// Schemes the engine shows itself; any other scheme goes to the system.
bool engineShowsScheme(const std::string& scheme)
{
    static const char* const kSchemes[] = {"http", "https", "about", "data", "blob", "file", "javascript",
                                           "chrome", "chrome-error", "devtools", "view-source", "ws", "wss",
                                           "filesystem"};
    for (const char* known : kSchemes)
        if (scheme == known)
            return true;
    return false;
}

}  // namespace

int NetErrorNumber(const std::string& name)
{
    std::string bare = name;
    for (const char* prefix : {"net::", "ERR_"})
        if (bare.compare(0, strlen(prefix), prefix) == 0)
            bare.erase(0, strlen(prefix));
    for (const NetError& e : kNetErrors)
        if (bare == e.name)
            return e.number;
    return -2;
}

int PanelLoadErrorNumber(const std::string& errorName, const std::string& url)
{
    int number = NetErrorNumber(errorName);
    if (number != -3)
        return number;
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return number;
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        char c = url[i];
        if (!isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return number;
        scheme += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return engineShowsScheme(scheme) ? number : -302;
}
