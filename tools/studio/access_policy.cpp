#include "tools/studio/access_policy.h"

#include "tools/report.h"

#include <sys/random.h>

#include <cstdio>
#include <stdexcept>

namespace tools::studio {
namespace {

bool IsLoopbackName(const std::string& host) { return host == "127.0.0.1" || host == "localhost"; }

bool IsStateChanging(const std::string& method) {
    return method == "POST" || method == "PUT" || method == "DELETE" || method == "PATCH";
}

// The value of one cookie in a Cookie header ("a=1; b=2"), or "".
std::string CookieValue(const std::string& header, const std::string& name) {
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string item = header.substr(pos, end - pos);
        const size_t first = item.find_first_not_of(' ');
        item = first == std::string::npos ? "" : item.substr(first);
        if (item.compare(0, name.size() + 1, name + "=") == 0) return item.substr(name.size() + 1);
        pos = end + 1;
    }
    return "";
}

}  // namespace

ListenAddress ParseListenAddress(const std::string& text, bool allowRemote, std::string* warning) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        throw UsageError("--listen wants HOST:PORT, such as 127.0.0.1:8080");
    ListenAddress address;
    address.host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) > 65535)
        throw UsageError("--listen: the port must be a number from 0 to 65535, not " + port);
    address.port = std::stoi(port);
    if (address.host == "localhost") address.host = "127.0.0.1";
    // Requests must name the address they were sent to (the Host rule), which a wildcard is not.
    if (address.host == "0.0.0.0" || address.host == "::" || address.host == "[::]")
        throw UsageError("--listen " + text + ": name the address other machines reach this one at, not a wildcard");
    if (!IsLoopbackName(address.host)) {
        if (!allowRemote)
            throw UsageError("--listen " + text +
                             " would let other machines reach a page that fires the laser; add --allow-remote "
                             "if that is meant");
        if (warning)
            *warning = "listening on " + text +
                       ": anyone on the network who learns the address with its token can drive the device";
    }
    return address;
}

std::string NewToken() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("the system's random source failed");
        }
        got += static_cast<size_t>(n);
    }
    std::string token;
    char hex[3];
    for (unsigned char b : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

AccessPolicy::AccessPolicy(std::string token, std::string host, int port)
    : token_(std::move(token)), host_(std::move(host)), port_(port) {}

bool AccessPolicy::HostAllowed(const std::string& hostHeader) const {
    const std::string port = ":" + std::to_string(port_);
    return hostHeader == host_ + port || hostHeader == "localhost" + port;
}

bool AccessPolicy::TokenMatches(const std::string& candidate) const {
    // Compared in constant time, so the answer's timing tells nothing about the token.
    if (candidate.size() != token_.size()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < token_.size(); ++i) diff |= static_cast<unsigned char>(candidate[i] ^ token_[i]);
    return diff == 0;
}

Verdict AccessPolicy::Check(const httplib::Request& request) const {
    Verdict v;
    if (!HostAllowed(request.get_header_value("Host"))) {
        v.status = 403;
        v.error = "the Host header names neither this server nor localhost";
        return v;
    }
    const std::string fromQuery = request.get_param_value("token");
    if (!fromQuery.empty()) {
        if (!TokenMatches(fromQuery)) {
            v.status = 401;
            v.error = "wrong access token: open the address the studio printed";
            return v;
        }
        v.setCookie = true;
    } else {
        const std::string fromCookie = CookieValue(request.get_header_value("Cookie"), kTokenCookie);
        if (!TokenMatches(fromCookie)) {
            v.status = 401;
            v.error = fromCookie.empty() ? "no access token: open the address the studio printed"
                                         : "wrong access token: open the address the studio printed";
            return v;
        }
    }
    if (IsStateChanging(request.method)) {
        if (request.get_header_value("Origin") != "http://" + request.get_header_value("Host")) {
            v.status = 403;
            v.error = "a request that changes something must come from the studio's own page (Origin)";
            return v;
        }
        if (request.get_header_value(kRequestHeader) != "1") {
            v.status = 403;
            v.error = std::string("a request that changes something needs the header ") + kRequestHeader + ": 1";
            return v;
        }
    }
    return v;
}

std::string AccessPolicy::TokenCookie() const {
    return std::string(kTokenCookie) + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string AccessPolicy::Address() const {
    return "http://" + host_ + ":" + std::to_string(port_) + "/?token=" + token_;
}

}  // namespace tools::studio
