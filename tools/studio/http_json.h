#pragma once
// How every studio handler answers: JSON bodies, refusals as 4xx {"error": ...}, and a guard
// that turns what a handler throws into its status, so no handler repeats the mapping.
#include "tools/studio/request_error.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace tools::studio {

void SendJson(httplib::Response& res, const nlohmann::json& body, int status = 200);
/// {"error": message} and, when given, {"pointer": JSON pointer into the document}.
void SendError(httplib::Response& res, int status, const std::string& message, const std::string& pointer = "");

/// Runs a handler and turns what it throws into its 4xx: RequestError (its status), a faulty
/// document (400 with the pointer), malformed JSON (400), a device failure (409: the device,
/// not the request, is in the way).
httplib::Server::Handler Guard(std::function<void(const httplib::Request&, httplib::Response&)> body);

/// The request's body as a JSON object; RequestError 400 when it is anything else.
nlohmann::json BodyObject(const httplib::Request& req);

}  // namespace tools::studio
