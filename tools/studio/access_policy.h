#pragma once
// Who may talk to the studio. The page can fire a laser, so every request passes these rules,
// and they live here alone: the listening address, the per-start token, the Host header (against
// DNS rebinding), and what a state-changing request must carry (against cross-site requests).
#include <httplib.h>

#include <string>

namespace tools::studio {

/// The header the page sends with every state-changing request; a cross-site form cannot set it.
inline constexpr const char* kRequestHeader = "X-Korvan-Studio";
/// The cookie that carries the token once the page was opened with ?token=.
inline constexpr const char* kTokenCookie = "korvan_studio_token";

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 0;  ///< 0: a free port, chosen when the server starts
};

/// Parses "HOST:PORT" (PORT 0 to 65535). A host other than 127.0.0.1 or localhost needs
/// `allowRemote`; `*warning` then says that the laser is reachable from the network. Throws
/// UsageError (tools/report.h) for a malformed address, a wildcard (0.0.0.0: no request could
/// name it in its Host), or a remote one without `allowRemote`.
ListenAddress ParseListenAddress(const std::string& text, bool allowRemote, std::string* warning);

/// 32 hexadecimal digits from the system's random source (getrandom). Throws std::runtime_error
/// when the source fails.
std::string NewToken();

/// A refusal: the HTTP status and the message for the JSON body; status 0 lets the request pass.
struct Verdict {
    int status = 0;
    std::string error;
    bool setCookie = false;  ///< the token came in the query: keep it in the cookie from now on
    explicit operator bool() const { return status == 0; }
};

class AccessPolicy {
public:
    /// `host` and `port` are where the server listens (the port it actually bound).
    AccessPolicy(std::string token, std::string host, int port);

    /// Applies every rule to a request, in this order: the Host header (403), the token from the
    /// query or the cookie (401), and for POST, PUT and DELETE a same-origin Origin and
    /// kRequestHeader (403).
    Verdict Check(const httplib::Request& request) const;
    /// The Set-Cookie value that keeps the token: HttpOnly, SameSite=Strict, for the whole site.
    std::string TokenCookie() const;
    const std::string& Token() const { return token_; }
    /// "http://127.0.0.1:8080/?token=...": what the user opens.
    std::string Address() const;

private:
    bool HostAllowed(const std::string& hostHeader) const;
    bool TokenMatches(const std::string& candidate) const;

    std::string token_, host_;
    int port_;
};

}  // namespace tools::studio
