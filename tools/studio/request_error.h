#pragma once
// A request the studio refuses: the HTTP status (4xx) and the message of its {"error": ...} body.
#include <stdexcept>
#include <string>

namespace tools::studio {

class RequestError : public std::runtime_error {
public:
    RequestError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

private:
    int status_;
};

}  // namespace tools::studio
