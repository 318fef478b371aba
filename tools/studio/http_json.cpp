#include "tools/studio/http_json.h"

#include "tools/report.h"

namespace tools::studio {

void SendJson(httplib::Response& res, const nlohmann::json& body, int status) {
    res.status = status;
    // With the charset named, the HTTP library leaves the answer uncompressed: browsers ask for
    // brotli, whose compression of a large check or preview took longer than everything else
    // of a timing update; on this machine's own loopback compression buys nothing.
    res.set_content(body.dump(), "application/json; charset=utf-8");
}

void SendError(httplib::Response& res, int status, const std::string& message, const std::string& pointer) {
    nlohmann::json body = {{"error", message}};
    if (!pointer.empty()) body["pointer"] = pointer;
    SendJson(res, body, status);
}

httplib::Server::Handler Guard(std::function<void(const httplib::Request&, httplib::Response&)> body) {
    return [body = std::move(body)](const httplib::Request& req, httplib::Response& res) {
        try {
            body(req, res);
        } catch (const RequestError& e) {
            SendError(res, e.Status(), e.what());
        } catch (const InputError& e) {
            SendError(res, 400, e.what(), e.Pointer());
        } catch (const nlohmann::json::exception& e) {
            SendError(res, 400, std::string("malformed JSON: ") + e.what());
        } catch (const DeviceError& e) {
            SendError(res, 409, e.what());
        }
    };
}

nlohmann::json BodyObject(const httplib::Request& req) {
    nlohmann::json body = nlohmann::json::parse(req.body);
    if (!body.is_object()) throw RequestError(400, "the body must be a JSON object");
    return body;
}

}  // namespace tools::studio
